' Plays an internet radio station (or a file on a web server) through
' ZelOggPlayEx from VBScript, and shows each song's artist and title as it
' begins. A script host gets no events from CreateObject, so the script
' looks at the title twice a second. Press Ctrl+C to stop.
'   cscript //nologo radio.vbs http://radio.example/stream.ogg
' 64-bit Windows: System32's cscript is 64-bit and needs the x64 edition,
' SysWOW64's cscript the x86 edition.
url = "http://radio.example/stream.ogg"
If WScript.Arguments.Count > 0 Then url = WScript.Arguments(0)

Set radio = CreateObject("ZelOggPlayer100.ZelOggPlayEx")
radio.BufferSeconds = 2
radio.PlayUrl url                 ' returns with the first song's comments known
shown = ""
Do While radio.GetStatus() <> "stop"
    If radio.Comment("TITLE") <> shown Then
        shown = radio.Comment("TITLE")
        WScript.Echo radio.Comment("ARTIST") & " - " & shown
    End If
    WScript.Sleep 500
Loop
WScript.Echo "done: " & radio.GetStatus()   ' the station went off the air, or could not be reached
