// A two-deck player with crossfades, from JScript (cscript or wscript). The
// files named on the command line play in turn: while one deck plays, the
// other opens the next file, paused and silent; as the playing deck comes
// within FADE seconds of its end, the other starts and fades in while the
// first fades out and stops. The decks are two ZelOggPlayEx controls, mixed
// in the program's one output. A script host gets no events here, so the
// decks are polled.
//   cscript //nologo decks.js C:\Music\one.ogg C:\Music\two.opus C:\Music\three.flac
var FADE = 4;  // seconds
if (WScript.Arguments.length == 0) {
    WScript.Echo("usage: cscript //nologo decks.js FILE...");
    WScript.Quit(2);
}
var decks = [new ActiveXObject("ZelOggPlayer100.ZelOggPlayEx"), new ActiveXObject("ZelOggPlayer100.ZelOggPlayEx")];
var names = ["A", "B"];

function show(deck) {
    var player = decks[deck];
    var title = player.Comment("TITLE");  // "" when the file has none
    WScript.Echo("deck " + names[deck] + ": " + (title || "(no title)") + " (" + player.Duration.toFixed(1) + " s)");
}

var live = 0;
decks[live].PlayFile(WScript.Arguments(0));
show(live);
for (var i = 1; i < WScript.Arguments.length; i++) {
    var playing = decks[live], ready = decks[1 - live];
    ready.Volume = 0;
    ready.OpenFile(WScript.Arguments(i));  // returns with its length known, paused
    while (playing.GetStatus() != "stop" && playing.Duration - playing.Position > FADE) {
        WScript.Sleep(100);
    }
    ready.ResumePlayback();
    ready.FadeTo(100, FADE * 1000);
    playing.FadeOutAndStop(FADE * 1000);
    live = 1 - live;
    show(live);
}
var started = new Date().getTime();
while (decks[live].GetStatus() != "stop" && new Date().getTime() - started < 3600000) {
    WScript.Sleep(250);
}
WScript.Echo("done: " + decks[live].GetStatus());
