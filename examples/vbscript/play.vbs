' Plays an Ogg file through ZelOggPlay from VBScript and shows its events.
'   cscript //nologo play.vbs C:\Music\song.ogg
' WScript.CreateObject with a prefix connects the control's events to the
' Subs named Player_<event> below, and WScript.Sleep lets them in while the
' script waits (it runs the script host's messages). The loop also polls the
' status, and gives up after an hour so that a file that never plays cannot
' hold the script for ever.
' 64-bit Windows: System32's cscript is 64-bit and needs the x64 edition,
' SysWOW64's cscript the x86 edition.
path = "C:\Music\song.ogg"
If WScript.Arguments.Count > 0 Then path = WScript.Arguments(0)

Set player = WScript.CreateObject("ZelOggPlayer100.ZelOggPlay", "Player_")
player.PlayFile path
started = Timer
Do While player.GetStatus() <> "stop" And Timer - started < 3600
    WScript.Sleep 100
Loop
WScript.Sleep 500   ' Finished and ErrorCode come with the control's next timer tick
WScript.Echo "done: " & player.GetStatus()

Sub Player_Status(value)
    WScript.Echo "Status " & value
End Sub

Sub Player_TimePosition(seconds, text)
    WScript.Echo "TimePosition " & text
End Sub

Sub Player_ErrorCode(number, description)
    WScript.Echo "ErrorCode " & number & " " & description
End Sub
