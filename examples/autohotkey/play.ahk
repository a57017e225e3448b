; Plays an Ogg file through ZelOggPlayEx from AutoHotkey v2, with its events.
;   AutoHotkey64.exe play.ahk C:\Music\song.ogg
; AutoHotkey64.exe needs the x64 edition registered, AutoHotkey32.exe the x86
; edition. The script stays running while it waits (a GUI or Persistent), so
; the control's timers run and its events arrive.
#Requires AutoHotkey v2.0
Persistent

path := A_Args.Length > 0 ? A_Args[1] : "C:\Music\song.ogg"
player := ComObject("ZelOggPlayer100.ZelOggPlayEx")
ComObjConnect(player, PlayerEvents)
player.OpenFile(path)            ; returns with the length and comments known, paused
ToolTip player.Comment["TITLE"] " (" Round(player.Duration, 1) " s)"   ; a property with an argument takes brackets
player.Volume := 80
player.ResumePlayback()

; Event handlers: the event's arguments (by reference), then the control.
class PlayerEvents {
    static Value(argument) => argument is ComValueRef ? argument[] : argument

    static Status(Statusvalue, control) {
        ToolTip "Status " PlayerEvents.Value(Statusvalue)
    }

    static ErrorCode(ErrorNumber, ErrorDescription, control) {
        if PlayerEvents.Value(ErrorNumber) != 0
            MsgBox PlayerEvents.Value(ErrorDescription)
        ExitApp PlayerEvents.Value(ErrorNumber)
    }
}
