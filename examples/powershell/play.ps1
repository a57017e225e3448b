# Plays an Ogg file through ZelOggPlayEx from PowerShell, polling its status
# (a console script has no message loop for the control's events).
#   powershell -File play.ps1 C:\Music\song.ogg
# PowerShell's edition decides the control's: the usual 64-bit console needs
# the x64 edition registered; "Windows PowerShell (x86)" the x86 edition.
param([string]$Path = "C:\Music\song.ogg")

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
