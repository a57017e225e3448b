' Plays an Ogg file through ZelOggPlay from VBScript (cscript or wscript).
' A script host has no message loop and no events: the script polls the
' status, sleeping between polls, and gives up after an hour so that a file
' that never plays cannot hold it for ever.
'   cscript //nologo play.vbs C:\Music\song.ogg
' 64-bit Windows: System32's cscript is 64-bit and needs the x64 edition,
' SysWOW64's cscript the x86 edition.
path = "C:\Music\song.ogg"
If WScript.Arguments.Count > 0 Then path = WScript.Arguments(0)

Set player = CreateObject("ZelOggPlayer100.ZelOggPlay")
player.PlayFile path
started = Timer
Do While player.GetStatus() <> "stop" And Timer - started < 3600
    WScript.Sleep 100
Loop
WScript.Echo "done: " & player.GetStatus()
