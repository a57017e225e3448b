' The control driven by a script host: created by ProgID, with no events
' and no message loop (so no timer ticks). The script opens the file and
' starts the sound itself, or with "play" lets PlayFile start it, and polls
' GetStatus until the file has ended. With "ex" it uses ZelOggPlayEx: it
' reads the length and the title of the tags fixture on the line after
' OpenFile, seeks, and plays on to the end.
'   cscript //nologo script.vbs FILE.ogg [play|ex]
Option Explicit
Dim player, started, status, extended, title
extended = WScript.Arguments.Count > 1
If extended Then extended = WScript.Arguments(1) = "ex"
If extended Then
  Set player = CreateObject("ZelOggPlayer100.ZelOggPlayEx")
Else
  Set player = CreateObject("ZelOggPlayer100.ZelOggPlay")
End If
If player.ControlName() <> "Zel OGG Vorbis Player OCX 1.0.0" Then
  WScript.Echo "wrong ControlName"
  WScript.Quit 3
End If
If extended Then
  player.OpenFile WScript.Arguments(0)
  title = player.Comment("TITLE")
  If Abs(player.Duration - 1) > 0.000001 Or Len(title) <> 7 Or AscW(title) <> &H41F Or AscW(Right(title, 1)) <> &H6B4C Then
    WScript.Echo "wrong Duration " & player.Duration & " or title"
    WScript.Quit 5
  End If
  player.Position = 0.5
  player.ResumePlayback
ElseIf WScript.Arguments.Count > 1 Then
  player.PlayFile WScript.Arguments(0)
Else
  player.OpenFile WScript.Arguments(0)
  player.ResumePlayback
End If
started = Timer
Do
  status = player.GetStatus()
  If Timer - started > 600 Or Timer < started Then
    WScript.Echo "no end after 600 s"
    WScript.Quit 4
  End If
Loop While status <> "stop"
WScript.Echo "ended: " & status
WScript.Quit 0
