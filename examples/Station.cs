// A station program in C#, on bindings/dotnet/Stagemark.cs:
//
//     Station.exe LIBRARY PORT STAGE [REQUIRED_STAGE...]
//
// Loads stagemark from its full path, opens the link, runs detection, reads the phone's
// record, refuses the phone unless every required stage passed, records STAGE as passed,
// reads it back, and closes everything on every path.
// Exit: 0 recorded, 1 refused, 2 a step failed, 64 usage error. Build it for x86.
using System;
using System.Collections.Generic;

static class Station
{
    static int Usage(string problem)
    {
        Console.Error.WriteLine("station: " + problem + "\nusage: Station.exe LIBRARY PORT STAGE [REQUIRED_STAGE...]");
        return 64;
    }

    // 0..255 in plain ASCII decimal, as the station tool takes it. int.TryParse would also
    // take " 12", "+12" and "012", each as COM12, and so mark a phone nobody named.
    static bool TryPort(string text, out int port)
    {
        port = -1;
        if (text.Length == 0 || text.Length > 3 || (text[0] == '0' && text.Length > 1)) return false;
        int value = 0;
        foreach (char digit in text)
        {
            if (digit < '0' || digit > '9') return false;
            value = value * 10 + (digit - '0');
        }
        if (value > 255) return false;
        port = value;
        return true;
    }

    // ASCII names in any case, the same under every culture.
    static bool TryStage(string name, out Stagemark.Stage stage) { return Stagemark.StageNames.TryParse(name, out stage); }

    static int Main(string[] args)
    {
        if (args.Length < 3) return Usage("expected a library, a port and a stage");
        int port;
        if (!TryPort(args[1], out port)) return Usage("not a port from 0 to 255: '" + args[1] + "'");
        Stagemark.Stage stage;
        if (!TryStage(args[2], out stage)) return Usage("unknown stage: " + args[2]);
        var required = new List<Stagemark.Stage>();
        for (int i = 3; i < args.Length; ++i)
        {
            Stagemark.Stage needed;
            if (!TryStage(args[i], out needed)) return Usage("unknown stage: " + args[i]);
            required.Add(needed);
        }
        try
        {
            Stagemark.Loader.Load(args[0]);
            using (var link = new Stagemark.Link(port, detect: 0))
            using (var phone = link.OpenHandle())
            {
                if (required.Count > 0 && !phone.Passed(required.ToArray()))
                {
                    Console.WriteLine("phone " + phone.Bsn + " refused: not every one of " + string.Join(" ", required) + " passed");
                    return 1;
                }
                phone.Record(stage, true);
                if (phone.StatusOf(stage) != Stagemark.Status.Passed)
                {
                    Console.Error.WriteLine("station: " + stage + " reads back as " + phone.StatusOf(stage));
                    return 2;
                }
                Console.WriteLine("phone " + phone.Bsn + ": " + stage + " recorded as passed, working copy of " +
                                  phone.WorkingCopy().Length + " bytes");
                return 0;
            }
        }
        catch (Stagemark.StagemarkException error)
        {
            Console.Error.WriteLine("station: " + error.Step + ": " + error.Message);
            return 2;
        }
    }
}
