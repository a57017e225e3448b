// Plays an Ogg file through ZelOggPlayEx from JScript (cscript or wscript):
// shows its title and length, turns the volume down, seeks, and polls the
// position until the end (a script host has no events), for an hour at most.
//   cscript //nologo play.js C:\Music\song.ogg
var path = WScript.Arguments.length > 0 ? WScript.Arguments(0) : "C:\\Music\\song.ogg";
var player = new ActiveXObject("ZelOggPlayer100.ZelOggPlayEx");
player.OpenFile(path);                 // returns with the length and comments known, paused
var title = player.Comment("TITLE");   // "" when the file has none
WScript.Echo((title || "(no title)") + " (" + player.Duration.toFixed(1) + " s)");
player.Volume = 50;
if (player.Duration > 2) player.Position = 1;
player.ResumePlayback();
var started = new Date().getTime();
while (player.GetStatus() != "stop" && new Date().getTime() - started < 3600000) {
    WScript.Sleep(250);
}
WScript.Echo("done: " + player.GetStatus());
