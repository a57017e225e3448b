# Plays an Ogg file through ZelOggPlayEx from PowerShell, polling its status
# (a console script has no message loop for the control's events).
#   powershell -ExecutionPolicy Bypass -File play.ps1 C:\Music\song.ogg
# A script taken from a downloaded zip carries the download mark, and the
# default execution policies refuse it (Restricted in Windows PowerShell;
# RemoteSigned in PowerShell 7, which refuses marked scripts that are not
# signed): run it with -ExecutionPolicy Bypass as above, or clear the mark
# once with Unblock-File .\play.ps1.
# PowerShell's edition decides the control's: the usual 64-bit console needs
# the x64 edition registered; "Windows PowerShell (x86)" the x86 edition.
param([string]$Path = "C:\Music\song.ogg")

# A COM object resolves a relative path against the process's folder, not
# PowerShell's current location: hand it a full path.
$Path = $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Path)
$player = New-Object -ComObject ZelOggPlayer100.ZelOggPlayEx
$player.OpenFile($Path) | Out-Null         # returns with the length and comments known, paused
"{0} ({1:N1} s)" -f $player.Comment("TITLE"), $player.Duration
$player.Volume = 70
$player.ResumePlayback() | Out-Null
$started = Get-Date
while ($player.GetStatus() -ne "stop" -and ((Get-Date) - $started).TotalHours -lt 1) {
    Write-Progress -Activity "Playing" -Status ("{0:N1} s" -f $player.Position) `
        -PercentComplete ([Math]::Min(100, 100 * $player.Position / [Math]::Max($player.Duration, 0.001)))
    Start-Sleep -Milliseconds 250
}
[System.Runtime.InteropServices.Marshal]::ReleaseComObject($player) | Out-Null
