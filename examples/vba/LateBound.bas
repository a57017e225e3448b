Attribute VB_Name = "LateBound"
' ZelOggPlayEx in VBA with late binding, for any Office host (Excel, Access,
' Word, PowerPoint, Outlook): no reference to set, no events, nothing of
' one host's own; it writes to the Immediate window (Ctrl+G). Import it with
' File > Import File. The control lives in a module-level variable: one held
' in a local variable of a Sub would be released when the Sub ends, and the
' last control of a thread cancels its file. PlayToEnd waits for the end,
' letting the host (and the control's timers) run between its looks.
Option Explicit

#If VBA7 Then
Private Declare PtrSafe Sub Sleep Lib "kernel32" (ByVal Milliseconds As Long)
#Else
Private Declare Sub Sleep Lib "kernel32" (ByVal Milliseconds As Long)
#End If

Private Player As Object

Public Sub PlaySong()
    If Player Is Nothing Then Set Player = CreateObject("ZelOggPlayer100.ZelOggPlayEx")
    Player.OpenFile "C:\Music\song.ogg"     ' returns with the length and comments known, paused
    Debug.Print Player.Comment("TITLE"), Format(Player.Duration, "0.0") & " s"
    Player.Volume = 80
    Player.ResumePlayback
End Sub

Public Sub PlayToEnd()
    If Player Is Nothing Then PlaySong
    Do While Player.GetStatus() <> "stop"
        Debug.Print "Playing " & Format(Player.Position, "0.0") & " s"
        DoEvents
        Sleep 250
    Loop
End Sub

Public Sub StopSong()
    If Not Player Is Nothing Then Player.CancelPlayback
End Sub
