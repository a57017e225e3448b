"""Plays an Ogg file through ZelOggPlayEx from Python with pywin32, printing
the control's events.

    py play.py C:\\Music\\song.ogg

Python's bitness decides the control's edition: a 64-bit Python needs the
x64 edition registered, a 32-bit one the x86 edition. The events come from
the control's timers, so the thread pumps messages while it waits.
"""
import sys
import time

import pythoncom
import win32com.client


class PlayerEvents:
    """Event handlers: On plus the event's name; every argument comes by reference."""

    ended = False
    error = None

    def OnStatus(self, Statusvalue):
        print("Status", Statusvalue)

    def OnFinished(self):
        print("Finished")

    def OnTimePosition(self, TimeAsSeconds, TimeAsString):
        print("TimePosition", TimeAsString)

    def OnErrorCode(self, ErrorNumber, ErrorDescription):
        print("ErrorCode", ErrorNumber, ErrorDescription)
        PlayerEvents.error = ErrorNumber
        PlayerEvents.ended = True


path = sys.argv[1] if len(sys.argv) > 1 else r"C:\Music\song.ogg"
player = win32com.client.DispatchWithEvents("ZelOggPlayer100.ZelOggPlayEx", PlayerEvents)
player.OpenFile(path)  # returns with the length and comments known, paused
print(player.Comment("TITLE"), "(%.1f s)" % player.Duration)
player.Volume = 80
player.ResumePlayback()
started = time.time()
while not PlayerEvents.ended and time.time() - started < 3600:
    pythoncom.PumpWaitingMessages()
    time.sleep(0.05)
sys.exit(PlayerEvents.error or 0)
