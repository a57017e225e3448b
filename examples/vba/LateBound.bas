Attribute VB_Name = "LateBound"
' ZelOggPlayEx in Excel, Access or Word VBA with late binding: no reference
' to set, no events. The control lives in a module-level variable: one held
' in a local variable of a Sub would be released when the Sub ends, and the
' last control of a thread cancels its file. A timer of the host polls it.
Option Explicit

Private Player As Object

Public Sub PlaySong()
    If Player Is Nothing Then Set Player = CreateObject("ZelOggPlayer100.ZelOggPlayEx")
    Player.OpenFile "C:\Music\song.ogg"     ' returns with the length and comments known, paused
    Debug.Print Player.Comment("TITLE"), Format(Player.Duration, "0.0") & " s"
    Player.Volume = 80
    Player.ResumePlayback
    ShowPosition
End Sub

Public Sub ShowPosition()                   ' Excel: Application.OnTime calls it again
    If Player Is Nothing Then Exit Sub
    If Player.GetStatus() = "stop" Then
        Application.StatusBar = False
        Exit Sub
    End If
    Application.StatusBar = "Playing " & Format(Player.Position, "0.0") & " s"
    Application.OnTime Now + TimeSerial(0, 0, 1), "ShowPosition"
End Sub

Public Sub StopSong()
    If Not Player Is Nothing Then Player.CancelPlayback
End Sub
