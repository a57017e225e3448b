' Plays an internet radio station (or a file on a web server) through
' ZelOggPlayEx from VBScript, and shows each song's title as it begins.
'   cscript //nologo radio.vbs http://radio.example/stream.ogg
' WScript.CreateObject with a prefix connects the control's events to the
' Subs named Radio_<event> below, and WScript.Sleep lets them in while the
' script waits. Press Ctrl+C to stop.
' 64-bit Windows: System32's cscript is 64-bit and needs the x64 edition,
' SysWOW64's cscript the x86 edition.
url = http://radio.example/stream.ogg
If WScript.Arguments.Count > 0 Then url = WScript.Arguments(0)

Set radio = WScript.CreateObject(ZelOggPlayer100.ZelOggPlayEx, Radio_)
radio.BufferSeconds = 2
radio.PlayUrl url                 ' returns with the first song's comments known
ShowSong
Do While radio.GetStatus() <> stop
    WScript.Sleep 250
Loop
WScript.Sleep 500   ' ErrorCode comes with the control's next timer tick

Sub ShowSong()
    WScript.Echo radio.Comment(ARTIST) &  -  & radio.Comment(TITLE)
End Sub

Sub Radio_CommentsChanged()      ' the station's next song
    ShowSong
End Sub

Sub Radio_ErrorCode(ErrorNumber, ErrorDescription)
    If ErrorNumber <> 0 Then WScript.Echo stopped:  & ErrorDescription
End Sub
