' The control driven by a script host: created by ProgID, with no events
' and no message loop (so no timer ticks). The script opens the file and
' starts the sound itself, or with "play" lets PlayFile start it, and polls
' GetStatus until the file has ended.
'   cscript //nologo script.vbs FILE.ogg [play]
Option Explicit
Dim player, started, status
Set player = CreateObject("ZelOggPlayer100.ZelOggPlay")
If player.ControlName() <> "Zel OGG Vorbis Player OCX 1.0.0" Then
  WScript.Echo "wrong ControlName"
  WScript.Quit 3
End If
If WScript.Arguments.Count > 1 Then
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
