// The .NET binding against the native library and the desk's stand-ins, on Mono, whose
// P/Invoke is the real marshaller:
//
//     BindingTest.exe LIBRARY PHONE_TOOL MONO     every case, each on a desk of its own
//     BindingTest.exe hold LIBRARY PORT           a station that holds the port until its input ends
//
// What a station must never meet: a second link that takes over the first one's phone, an
// argument that reaches the phone before it is refused, a direct result that costs more
// than one read and one write on the link, and a held port whose holder goes unnamed.
// Exit: 0 when every case passed, 1 otherwise.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;
using System.Threading;

static class BindingTest
{
    const int Port = 3;

    // The stand-ins' operations, in their order in the call log's counts.
    static readonly string[] DriverOps = { "tls", "open", "init", "detect", "read", "write", "close", "free" };

    [DllImport("sl", CallingConvention = CallingConvention.Cdecl)]
    static extern UIntPtr sim_op_count(int op);

    [DllImport("sl", CallingConvention = CallingConvention.Cdecl)]
    static extern int sim_link_is_open(int port);

    static string phoneTool, mono, library, deskRoot;
    static int failed, passed;

    // Every operation this process has made on the link so far; the difference of two is
    // what the code between them did.
    static ulong[] DriverCalls()
    {
        var counts = new ulong[DriverOps.Length];
        for (int op = 0; op < counts.Length; ++op) counts[op] = (ulong)sim_op_count(op);
        return counts;
    }

    static string Made(ulong[] before)
    {
        ulong[] after = DriverCalls();
        var made = new List<string>();
        for (int op = 0; op < after.Length; ++op)
            if (after[op] != before[op]) made.Add(DriverOps[op] + " " + (after[op] - before[op]));
        return string.Join(", ", made);
    }

    static void Expect(bool ok, string what)
    {
        if (!ok) throw new Exception(what);
    }

    static Stagemark.StagemarkException Refusal(Action action)
    {
        try
        {
            action();
        }
        catch (Stagemark.StagemarkException error)
        {
            return error;
        }
        return null;
    }

    static void ExpectRefused(Action action, string step, string words, string what)
    {
        Stagemark.StagemarkException error = Refusal(action);
        Expect(error != null, what + ": nothing was refused");
        Expect(error.Step == step, what + ": step '" + error.Step + "', not '" + step + "': " + error.Message);
        Expect(error.Message.Contains(words), what + ": the message lacks '" + words + "': " + error.Message);
    }

    static string Phone(params string[] args)
    {
        var start = new ProcessStartInfo(phoneTool, string.Join(" ", args))
        {
            UseShellExecute = false, RedirectStandardOutput = true, RedirectStandardError = true
        };
        using (Process run = Process.Start(start))
        {
            string output = run.StandardOutput.ReadToEnd() + run.StandardError.ReadToEnd();
            Expect(run.WaitForExit(60000) && run.ExitCode == 0, "stagemark-phone " + start.Arguments + ": " + output);
            return output;
        }
    }

    static Stagemark.Status StatusOn(int port, Stagemark.Stage stage)
    {
        using (var link = new Stagemark.Link(port))
        using (Stagemark.TestHandle phone = link.OpenHandle())
            return phone.StatusOf(stage);
    }

    // Each case on a desk folder of its own with a new phone on Port; what a failed case
    // left open in the process is closed before the next.
    static void Case(string name, Action body)
    {
        // The desk makes its folder, private to the user, at the first phone.
        Environment.SetEnvironmentVariable("STAGEMARK_SIM_DIR", Path.Combine(deskRoot, "case" + (passed + failed)));
        try
        {
            Phone("insert", "--port", Port.ToString(), "--bsn", "1234509876");
            body();
            ++passed;
            Console.WriteLine("ok      " + name);
        }
        catch (Exception error)
        {
            ++failed;
            Console.WriteLine("FAILED  " + name + ": " + error.Message);
        }
        finally
        {
            Stagemark.Native.CloseTestHandle();
            for (int port = 0; port < 256; ++port)
                if (sim_link_is_open(port) != 0) Stagemark.Native.ExitTat((byte)port);
        }
    }

    static void SecondLinks()
    {
        foreach (int second in new[] { Port + 1, Port })
        {
            Case("a second link, on COM" + second + ", is refused before it reaches the library", () =>
            {
                Phone("insert", "--port", (Port + 1).ToString(), "--bsn", "2222222222");
                using (var first = new Stagemark.Link(Port))
                {
                    ulong[] before = DriverCalls();
                    ExpectRefused(() => new Stagemark.Link(second).Dispose(), "open",
                                  "already open in this process, on COM" + Port, "the second link");
                    Expect(Made(before) == "", "the refused link made driver calls: " + Made(before));
                    first.RecordDirect(Stagemark.Stage.CT, true);
                }
                Expect(StatusOn(Port, Stagemark.Stage.CT) == Stagemark.Status.Passed, "the first link's phone lost CT");
                Expect(StatusOn(Port + 1, Stagemark.Stage.CT) == Stagemark.Status.NotRecorded,
                       "the other phone was marked");
            });
        }
        Case("a link whose close failed stays the one link until it closes", () =>
        {
            Phone("fault", "--port", Port.ToString(), "close", "--once");
            var link = new Stagemark.Link(Port);
            ExpectRefused(link.Dispose, "close", "closing the link on COM3 failed", "the failed close");
            ExpectRefused(() => new Stagemark.Link(Port + 1).Dispose(), "open", "call its Dispose again",
                          "a link beside the unclosed one");
            link.Dispose();
            Expect(StatusOn(Port, Stagemark.Stage.BSN) == Stagemark.Status.NotRecorded, "the port stayed held");
        });
        Case("disposing the link closes a handle left open", () =>
        {
            Phone("insert", "--port", (Port + 1).ToString(), "--bsn", "2222222222");
            using (var link = new Stagemark.Link(Port)) link.OpenHandle();  // never disposed
            using (var link = new Stagemark.Link(Port + 1))
            using (Stagemark.TestHandle other = link.OpenHandle())
            {
                Expect(other.Bsn == "2222222222", "the next phone's handle has BSN " + other.Bsn);
                other.Record(Stagemark.Stage.BT, false);
            }
            Expect(StatusOn(Port, Stagemark.Stage.BT) == Stagemark.Status.NotRecorded, "the first phone was marked");
        });
    }

    static void Arguments()
    {
        var beforeTheLink = new Dictionary<string, Action>
        {
            { "port -1", () => new Stagemark.Link(-1) },
            { "port 256", () => new Stagemark.Link(256) },
            { "port 257, which would wrap to COM1", () => new Stagemark.Link(257) },
        };
        foreach (KeyValuePair<string, Action> wrong in beforeTheLink)
        {
            Case("Link(" + wrong.Key + ") is refused before InitTat", () =>
            {
                ulong[] before = DriverCalls();
                ExpectRefused(wrong.Value, "argument", "is not a number from 0 to 255", wrong.Key);
                Expect(Made(before) == "", wrong.Key + " made driver calls: " + Made(before));
            });
        }
        var onTheLink = new Dictionary<string, Action<Stagemark.Link, Stagemark.TestHandle>>
        {
            { "a direct result for stage 8", (link, phone) => link.RecordDirect((Stagemark.Stage)8, true) },
            { "a result for stage -1", (link, phone) => phone.Record((Stagemark.Stage)(-1), true) },
            { "the status of stage 99", (link, phone) => phone.StatusOf((Stagemark.Stage)99) },
            { "a route check of no stages", (link, phone) => phone.Passed() },
            { "a route check of null", (link, phone) => phone.Passed(null) },
            { "a route check with stage 8 last", (link, phone) => phone.Passed(Stagemark.Stage.BSN, (Stagemark.Stage)8) },
        };
        foreach (KeyValuePair<string, Action<Stagemark.Link, Stagemark.TestHandle>> wrong in onTheLink)
        {
            Case(wrong.Key + " reaches no phone", () =>
            {
                using (var link = new Stagemark.Link(Port))
                using (Stagemark.TestHandle phone = link.OpenHandle())
                {
                    ulong[] before = DriverCalls();
                    ExpectRefused(() => wrong.Value(link, phone), "argument", "stage", wrong.Key);
                    Expect(Made(before) == "", wrong.Key + " made driver calls: " + Made(before));
                }
            });
        }
        Case("stage names are ASCII, in any case, under any culture", () =>
        {
            CultureInfo culture = Thread.CurrentThread.CurrentCulture;
            try
            {
                // Turkish: "imei" upper-cases to "İMEİ" there, and "ımeı" to "IMEI".
                Thread.CurrentThread.CurrentCulture = new CultureInfo("tr-TR");
                var names = new Dictionary<string, Stagemark.Stage>
                {
                    { "imei", Stagemark.Stage.IMEI }, { "Ft", Stagemark.Stage.FT }, { "RES2", Stagemark.Stage.RES2 },
                    { "lama", Stagemark.Stage.LAMA },
                };
                foreach (KeyValuePair<string, Stagemark.Stage> name in names)
                    Expect(Stagemark.StageNames.Parse(name.Key) == name.Value, name.Key + " is not " + name.Value);
                foreach (string wrong in new[] { "\u0131me\u0131", "\u0130MEI", "XT", "", null, "4", "BSN, BT", " FT" })
                {
                    Stagemark.Stage stage;
                    Expect(!Stagemark.StageNames.TryParse(wrong, out stage), "'" + wrong + "' was taken as " + stage);
                    ExpectRefused(() => Stagemark.StageNames.Parse(wrong), "argument", "unknown stage", "'" + wrong + "'");
                }
            }
            finally
            {
                Thread.CurrentThread.CurrentCulture = culture;
            }
        });
    }

    static void DirectResults()
    {
        // One read and one write on the link, as the station tool records: a read more would
        // add half the link's time to every direct result.
        Case("a direct result is one read and one write, and is recorded", () =>
        {
            using (var link = new Stagemark.Link(Port))
            {
                ulong[] before = DriverCalls();
                link.RecordDirect(Stagemark.Stage.LAMA, false);
                Expect(Made(before) == "read 1, write 1", "a direct result made " + Made(before));
            }
            Expect(StatusOn(Port, Stagemark.Stage.LAMA) == Stagemark.Status.Failed, "LAMA was not recorded as failed");
        });
        Case("a direct result on a never-written record reads once and writes nothing", () =>
        {
            Phone("remove", "--port", Port.ToString());
            Phone("insert", "--port", Port.ToString(), "--erased");
            string file = Phone("where", "--port", Port.ToString()).Trim();
            byte[] erased = File.ReadAllBytes(file);
            using (var link = new Stagemark.Link(Port))
            {
                ulong[] before = DriverCalls();
                ExpectRefused(() => link.RecordDirect(Stagemark.Stage.FT, true), "check",
                              "has never been written, and nothing was written to it; the phone's BSN must be " +
                              "written to the phone before any station records a stage", "the erased record");
                Expect(Made(before) == "read 1", "the refused direct result made " + Made(before));
            }
            Expect(Convert.ToBase64String(File.ReadAllBytes(file)) == Convert.ToBase64String(erased),
                   "the erased phone's file changed");
        });
        Case("a direct result beside an open handle reaches no phone", () =>
        {
            using (var link = new Stagemark.Link(Port))
            using (Stagemark.TestHandle phone = link.OpenHandle())
            {
                ulong[] before = DriverCalls();
                ExpectRefused(() => link.RecordDirect(Stagemark.Stage.FT, true), "read", "already open in this process",
                              "the direct result beside the handle");
                Expect(Made(before) == "", "the refused direct result made " + Made(before));
                Expect(phone.StatusOf(Stagemark.Stage.FT) == Stagemark.Status.NotRecorded, "FT changed in the copy");
            }
        });
        Case("a link that detection failed on is closed by its constructor", () =>
        {
            Phone("remove", "--port", Port.ToString());
            ExpectRefused(() => new Stagemark.Link(Port, detect: 0), "detect", "found no phone", "detection");
            Expect(sim_link_is_open(Port) == 0, "the link stayed open");
            new Stagemark.Link(Port).Dispose();  // and nothing stayed claimed
        });
    }

    static void Holders()
    {
        Case("a port held by another process names it", () =>
        {
            var start = new ProcessStartInfo(mono, "\"" + typeof(BindingTest).Assembly.Location + "\" hold \"" +
                                                   library + "\" " + Port)
            {
                UseShellExecute = false, RedirectStandardInput = true, RedirectStandardOutput = true
            };
            using (Process holder = Process.Start(start))
            {
                try
                {
                    Expect(holder.StandardOutput.ReadLine() == "open", "the holding station did not open its link");
                    ExpectRefused(() => new Stagemark.Link(Port).Dispose(), "open",
                                  "COM3 is in use by another program (process " + holder.Id + ")", "the held port");
                }
                finally
                {
                    holder.StandardInput.Close();
                    Expect(holder.WaitForExit(60000) && holder.ExitCode == 0, "the holding station did not end well");
                }
            }
            new Stagemark.Link(Port).Dispose();  // let go by its holder, and nothing stayed claimed here
        });
    }

    static int Hold(int port)
    {
        using (new Stagemark.Link(port))
        {
            Console.WriteLine("open");
            Console.Out.Flush();
            Console.In.ReadToEnd();
        }
        return 0;
    }

    static int Main(string[] args)
    {
        if (args.Length == 3 && args[0] == "hold")
        {
            Stagemark.Loader.Load(args[1]);
            return Hold(int.Parse(args[2], CultureInfo.InvariantCulture));
        }
        if (args.Length != 3)
        {
            Console.Error.WriteLine("usage: BindingTest.exe LIBRARY PHONE_TOOL MONO");
            return 64;
        }
        library = Path.GetFullPath(args[0]);
        phoneTool = args[1];
        mono = args[2];
        deskRoot = Path.Combine(Path.GetTempPath(), "stagemark-dotnet-" + Process.GetCurrentProcess().Id);
        Directory.CreateDirectory(deskRoot);
        try
        {
            Stagemark.Loader.Load(library);
            SecondLinks();
            Arguments();
            DirectResults();
            Holders();
        }
        finally
        {
            Directory.Delete(deskRoot, true);
        }
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
