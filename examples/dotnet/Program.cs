// Plays an Ogg file through ZelOggPlayEx from a .NET console program, with
// the control's events: Play.exe C:\Music\song.ogg. The events come
// from the control's timers: the program's one thread is an STA that pumps
// messages while it waits.
using System;
using System.Windows.Forms;

internal static class Program
{
    [STAThread]
    private static int Main(string[] args)
    {
        string path = args.Length > 0 ? args[0] : @"C:\Music\song.ogg";
        var player = new ZelOggPlayerEx.ZelOggPlayEx();
        bool ended = false;
        int error = 0;
        player.Status += (ref string Statusvalue) => Console.WriteLine($"Status {Statusvalue}");
        player.TimePosition += (ref int TimeAsSeconds, ref string TimeAsString) => Console.WriteLine(TimeAsString);
        player.ErrorCode += (ref int ErrorNumber, ref string ErrorDescription) =>
        {
            Console.WriteLine($"ErrorCode {ErrorNumber} {ErrorDescription}");
            error = ErrorNumber;
            ended = true;
        };

        player.OpenFile(path);   // returns with the length and comments known, paused
        Console.WriteLine($"{player.get_Comment("TITLE")} ({player.Duration:F1} s)");
        player.Volume = 80;
        player.ResumePlayback();
        var started = DateTime.Now;
        while (!ended && DateTime.Now - started < TimeSpan.FromHours(1))
        {
            Application.DoEvents();
            System.Threading.Thread.Sleep(50);
        }
        return error;
    }
}
