// stagemark for station programs in C#: add this one file to the station's project.
//
//   Stagemark.Loader.Load(@"C:\station\stagemark.dll");   // sl.dll and dv.dll beside it
//   using (var link = new Stagemark.Link(1, detect: 0))
//   using (var phone = link.OpenHandle())
//   {
//       if (!phone.Passed(Stagemark.Stage.BSN, Stagemark.Stage.BT)) return 1;   // the route check
//       phone.Record(Stagemark.Stage.FT, true);                                  // written at once
//   }
//
// Build the station for x86: stagemark.dll is a 32-bit DLL. Every failure throws
// StagemarkException, which names the step; the link and the handle close on every path.
// The library holds one link per process, and one test handle: a second Link, or a second
// handle, is refused while one is open.
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace Stagemark
{
    /// <summary>The 46 exports, declared exactly as stagemark.dll exports them: cdecl.</summary>
    public static class Native
    {
        const string Library = "stagemark";

        /// <summary>Opens the serial link on COM&lt;port&gt;; 1 when open.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int InitTat(byte port);

        /// <summary>Runs the driver's detection loop, handing it the value; 1 on success.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int DetectMobile(int value);

        /// <summary>Closes the link on the same port InitTat opened; 1 when closed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ExitTat(byte port);

        /// <summary>Reads the phone's record into the 819-byte working copy; its address, or zero.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr OpenTestHandle();

        /// <summary>Drops the working copy without writing.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void CloseTestHandle();

        /// <summary>Writes the BSN as ten digits and a zero byte: give a buffer of capacity 11.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Ansi)]
        public static extern int GetBsnStr(StringBuilder buffer);

        /// <summary>Records a pass for BSN through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int BSN_Pass();

        /// <summary>Records a fail for BSN through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int BSN_Fail();

        /// <summary>BSN in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int BSN_Status();

        /// <summary>Records a pass for BT through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int BT_Pass();

        /// <summary>Records a fail for BT through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int BT_Fail();

        /// <summary>BT in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int BT_Status();

        /// <summary>Records a pass for CT through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int CT_Pass();

        /// <summary>Records a fail for CT through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int CT_Fail();

        /// <summary>CT in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int CT_Status();

        /// <summary>Records a pass for LAMA through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int LAMA_Pass();

        /// <summary>Records a fail for LAMA through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int LAMA_Fail();

        /// <summary>LAMA in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int LAMA_Status();

        /// <summary>Records a pass for FT through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int FT_Pass();

        /// <summary>Records a fail for FT through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int FT_Fail();

        /// <summary>FT in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int FT_Status();

        /// <summary>Records a pass for IMEI through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int IMEI_Pass();

        /// <summary>Records a fail for IMEI through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int IMEI_Fail();

        /// <summary>IMEI in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int IMEI_Status();

        /// <summary>Records a pass for RES1 through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int RES1_Pass();

        /// <summary>Records a fail for RES1 through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int RES1_Fail();

        /// <summary>RES1 in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int RES1_Status();

        /// <summary>Records a pass for RES2 through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int RES2_Pass();

        /// <summary>Records a fail for RES2 through the open handle and writes the record; 1 when written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int RES2_Fail();

        /// <summary>RES2 in the working copy: 0 not recorded, 1 passed, 2 failed.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int RES2_Status();

        /// <summary>Records a pass for BSN straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_BSN_Pass();

        /// <summary>Records a fail for BSN straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_BSN_Fail();

        /// <summary>Records a pass for BT straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_BT_Pass();

        /// <summary>Records a fail for BT straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_BT_Fail();

        /// <summary>Records a pass for CT straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_CT_Pass();

        /// <summary>Records a fail for CT straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_CT_Fail();

        /// <summary>Records a pass for LAMA straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_LAMA_Pass();

        /// <summary>Records a fail for LAMA straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_LAMA_Fail();

        /// <summary>Records a pass for FT straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_FT_Pass();

        /// <summary>Records a fail for FT straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_FT_Fail();

        /// <summary>Records a pass for IMEI straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_IMEI_Pass();

        /// <summary>Records a fail for IMEI straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_IMEI_Fail();

        /// <summary>Records a pass for RES1 straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_RES1_Pass();

        /// <summary>Records a fail for RES1 straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_RES1_Fail();

        /// <summary>Records a pass for RES2 straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_RES2_Pass();

        /// <summary>Records a fail for RES2 straight into the phone's record; 1 when read and written back.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int R_RES2_Fail();
    }

    /// <summary>A stage's status as the phone's record holds it.</summary>
    public enum Status { NotRecorded = 0, Passed = 1, Failed = 2 }

    /// <summary>The eight test stages, in the record's order.</summary>
    public enum Stage { BSN, BT, CT, LAMA, FT, IMEI, RES1, RES2 }

    /// <summary>Stage names as stations and operators type them: ASCII letters and digits in any
    /// case, the same under every culture.</summary>
    public static class StageNames
    {
        /// <summary>The stage named, or false for any other text. Only ASCII is taken: "ımeı"
        /// upper-cases to IMEI under some cultures, and would record a stage nobody named.</summary>
        public static bool TryParse(string name, out Stage stage)
        {
            stage = Stage.BSN;
            if (name == null) return false;
            var upper = new StringBuilder(name.Length);
            foreach (char c in name)
            {
                if (c > 0x7F) return false;
                upper.Append(c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c);
            }
            // Never Enum.Parse: it takes numbers and lists of names as well.
            foreach (Stage known in Enum.GetValues(typeof(Stage)))
            {
                if (string.Equals(known.ToString(), upper.ToString(), StringComparison.Ordinal))
                {
                    stage = known;
                    return true;
                }
            }
            return false;
        }

        /// <summary>The stage named; throws StagemarkException (step "argument") for any other text.</summary>
        public static Stage Parse(string name)
        {
            Stage stage;
            if (!TryParse(name, out stage))
                throw new StagemarkException("argument", "unknown stage " + (name == null ? "null" : "'" + name + "'") +
                                                         " (stages: " + string.Join(" ", Enum.GetNames(typeof(Stage))) +
                                                         ")");
            return stage;
        }
    }

    /// <summary>A step of the station's sequence failed; Step names it.</summary>
    public class StagemarkException : Exception
    {
        public string Step { get; private set; }

        public StagemarkException(string step, string message) : base(message) { Step = step; }
    }

    /// <summary>Loads stagemark.dll by its full path before the first call, so that
    /// Windows finds sl.dll and dv.dll in the DLL's own folder, and so that the
    /// declarations in Native bind to it.</summary>
    public static class Loader
    {
        const uint LoadWithAlteredSearchPath = 0x00000008;
        const int RtldNow = 2, RtldGlobal = 0x100;

        [DllImport("kernel32", SetLastError = true, CharSet = CharSet.Unicode)]
        static extern IntPtr LoadLibraryExW(string path, IntPtr reserved, uint flags);

        [DllImport("libdl.so.2")]
        static extern IntPtr dlopen(string path, int flags);

        [DllImport("libdl.so.2")]
        static extern IntPtr dlerror();

        static bool OnWindows { get { return Environment.OSVersion.Platform == PlatformID.Win32NT; } }

        /// <summary>Throws when this process cannot load the 32-bit DLL.</summary>
        public static void CheckProcess()
        {
            if (OnWindows && IntPtr.Size != 4)
                throw new StagemarkException("load", "this is a 64-bit process, and stagemark.dll is a 32-bit DLL: " +
                                                     "build the station for x86, not AnyCPU or x64");
        }

        public static void Load(string path)
        {
            CheckProcess();
            string full = Path.GetFullPath(path);
            if (OnWindows)
            {
                if (LoadLibraryExW(full, IntPtr.Zero, LoadWithAlteredSearchPath) == IntPtr.Zero)
                    throw new StagemarkException("load", "loading " + full + " failed with Windows error " +
                                                         Marshal.GetLastWin32Error() + "; keep sl.dll and dv.dll beside it");
            }
            else if (dlopen(full, RtldNow | RtldGlobal) == IntPtr.Zero)
            {
                throw new StagemarkException("load", "loading " + full + " failed: " + Marshal.PtrToStringAnsi(dlerror()));
            }
        }
    }

    sealed class StageCalls
    {
        // Direct results go through the handle too (Link.RecordDirect), so the R_ exports are not here.
        public readonly Func<int> Pass, Fail, Status;

        public StageCalls(Func<int> pass, Func<int> fail, Func<int> status)
        {
            Pass = pass; Fail = fail; Status = status;
        }

        /// <summary>The stage's calls; a number cast to Stage that names no stage is refused.</summary>
        public static StageCalls For(Stage stage)
        {
            StageCalls calls;
            if (!Of.TryGetValue(stage, out calls))
                throw new StagemarkException("argument", "stage " + (int)stage + " is not one of the eight stages (" +
                                                         string.Join(" ", Enum.GetNames(typeof(Stage))) + ")");
            return calls;
        }

        static readonly Dictionary<Stage, StageCalls> Of = new Dictionary<Stage, StageCalls>
        {
            { Stage.BSN, new StageCalls(Native.BSN_Pass, Native.BSN_Fail, Native.BSN_Status) },
            { Stage.BT, new StageCalls(Native.BT_Pass, Native.BT_Fail, Native.BT_Status) },
            { Stage.CT, new StageCalls(Native.CT_Pass, Native.CT_Fail, Native.CT_Status) },
            { Stage.LAMA, new StageCalls(Native.LAMA_Pass, Native.LAMA_Fail, Native.LAMA_Status) },
            { Stage.FT, new StageCalls(Native.FT_Pass, Native.FT_Fail, Native.FT_Status) },
            { Stage.IMEI, new StageCalls(Native.IMEI_Pass, Native.IMEI_Fail, Native.IMEI_Status) },
            { Stage.RES1, new StageCalls(Native.RES1_Pass, Native.RES1_Fail, Native.RES1_Status) },
            { Stage.RES2, new StageCalls(Native.RES2_Pass, Native.RES2_Fail, Native.RES2_Status) },
        };
    }

    /// <summary>What the desk's stand-in link library (sl) knows about a port: who holds it,
    /// and why an open failed. The vendor's sl has no such functions, and then the generic
    /// message stays.</summary>
    static class Desk
    {
        [DllImport("sl", CallingConvention = CallingConvention.Cdecl)]
        static extern UIntPtr sim_port_problem(int port, [Out] byte[] text, UIntPtr capacity);

        // A C long: as wide as a pointer on both targets (32-bit Windows, 64-bit Linux).
        [DllImport("sl", CallingConvention = CallingConvention.Cdecl)]
        static extern IntPtr sim_port_holder(int port);

        internal static string OpenFailure(int port)
        {
            string com = "COM" + port;
            try
            {
                var text = new byte[4096];
                ulong length = (ulong)sim_port_problem(port, text, (UIntPtr)text.Length);
                if (length > 0 && length < (ulong)text.Length)
                    return "opening the link on " + com + " failed: " + Encoding.UTF8.GetString(text, 0, (int)length);
                long holder = (long)sim_port_holder(port);
                if (holder > 0)
                    return "opening the link on " + com + " failed: " + com + " is in use by another program " +
                           "(process " + holder + "); wait until it ends or closes the link, then open it again";
            }
            catch (DllNotFoundException) { }
            catch (EntryPointNotFoundException) { }
            catch (BadImageFormatException) { }
            return "opening the link on " + com + " failed: the port does not exist or another program holds it; " +
                   "check the port number, and close any other program that uses " + com;
        }
    }

    /// <summary>The serial link to the phone on a port: InitTat, DetectMobile when a value
    /// is given (the vendor driver's own setting), and ExitTat on Dispose, on every path.
    /// The library holds one link per process: a second Link is refused while one is open.</summary>
    public sealed class Link : IDisposable
    {
        // The one link open in this process; the lock makes the check and the claim one step.
        static readonly object linkLock = new object();
        static Link current;

        readonly byte port;
        bool open;

        public Link(int port, int? detect = null)
        {
            Loader.CheckProcess();
            // One byte: 257 would wrap to COM1 and mark another phone.
            if (port < 0 || port > 255)
                throw new StagemarkException("argument", "port " + port + " is not a number from 0 to 255");
            this.port = (byte)port;
            lock (linkLock)
            {
                if (current != null)
                    throw new StagemarkException("open", "opening the link on COM" + port + " was refused: a link " +
                                                         "is already open in this process, on COM" + current.port +
                                                         ", and the library holds one link per process, so a second " +
                                                         "would mark the wrong phone; dispose that link " +
                                                         "first (if its close failed, call its Dispose again, or end " +
                                                         "the program)");
                current = this;  // claimed before InitTat: no other thread opens one meanwhile
            }
            int opened;
            try
            {
                opened = Native.InitTat(this.port);
            }
            catch (DllNotFoundException error)
            {
                Release();
                throw new StagemarkException("load", "opening the link on COM" + port + " failed: stagemark could " +
                                                     "not be loaded (" + error.Message + "); call Loader.Load with " +
                                                     "the full path of stagemark.dll first");
            }
            catch
            {
                Release();
                throw;
            }
            if (opened == 0)
            {
                Release();
                throw new StagemarkException("open", Desk.OpenFailure(port));
            }
            open = true;
            try
            {
                if (detect.HasValue && Native.DetectMobile(detect.Value) == 0)
                    throw new StagemarkException("detect", "detecting the phone on COM" + port + " failed: the " +
                                                           "driver found no phone; check it is connected and powered");
            }
            catch (Exception error)
            {
                // A constructor that throws hands back no link to dispose: close it here.
                bool closed = TryClose();
                if (closed || !(error is StagemarkException)) throw;
                throw new StagemarkException(((StagemarkException)error).Step, error.Message + "; closing the link " +
                                             "failed as well, so end the program and reconnect the phone before " +
                                             "the next station runs");
            }
        }

        public int Port { get { return port; } }

        void Release()
        {
            lock (linkLock)
            {
                if (current == this) current = null;
            }
        }

        void RequireOpen()
        {
            if (!open)
                throw new StagemarkException("argument", "the link on COM" + port + " is closed; use it before " +
                                                         "disposing it");
        }

        /// <summary>The test handle on this link's phone; dispose it on every path.</summary>
        public TestHandle OpenHandle()
        {
            RequireOpen();
            return new TestHandle(port);
        }

        /// <summary>Records the stage straight into the phone's record: one read and one write
        /// on the link, through a handle opened and closed here. So a never-written record is
        /// refused before anything is written, and so is a handle left open (its next result
        /// would undo this one).</summary>
        public void RecordDirect(Stage stage, bool passed)
        {
            StageCalls.For(stage);
            using (TestHandle phone = OpenHandle()) phone.Record(stage, passed);
        }

        // ExitTat, after closing a handle left open (it would carry this phone's record onto the
        // next). When the link library refuses to close, the link stays this process's one link,
        // which may still hold the phone.
        bool TryClose()
        {
            if (!open) return true;
            TestHandle.CloseOpen();
            if (Native.ExitTat(port) == 0) return false;
            open = false;
            Release();
            return true;
        }

        /// <summary>Closes the link. Throws when the link library refused to close it; Dispose
        /// may then be called again.</summary>
        public void Dispose()
        {
            if (!TryClose())
                throw new StagemarkException("close", "closing the link on COM" + port + " failed: reconnect " +
                                                      "the phone before the next station runs");
        }
    }

    /// <summary>The phone's record read once; every recorded result is written at once.
    /// Dispose it on every path: left open, it would write this phone's record onto the next.</summary>
    public sealed class TestHandle : IDisposable
    {
        public const int WorkingCopySize = 819;
        const string ErasedBsn = "ffffffffff";  // flash that was never written reads 0xFF
        // The handle open in this process through the binding: the library keeps one.
        static TestHandle current;
        readonly byte port;
        IntPtr copy;

        internal TestHandle(byte port)
        {
            this.port = port;
            if (current != null)
                throw new StagemarkException("read", "opening the test handle on COM" + port + " was refused: a " +
                                                     "test handle is already open in this process, and the library " +
                                                     "keeps one; record through that handle, or dispose it first");
            copy = Native.OpenTestHandle();
            if (copy == IntPtr.Zero)
                throw new StagemarkException("read", "reading the phone's record on COM" + port + " failed: the " +
                                                     "phone did not hand it over, or a handle is still open in " +
                                                     "this process; check the phone and close every handle");
            current = this;
            try
            {
                var buffer = new StringBuilder(11);
                Native.GetBsnStr(buffer);
                Bsn = buffer.ToString();
                if (Bsn.Length != 10 || !IsDigits(Bsn)) throw new StagemarkException("check", Untrusted(port, Bsn));
            }
            catch
            {
                Dispose();
                throw;
            }
        }

        static string Untrusted(byte port, string bsn)
        {
            string start = "the phone's record on COM" + port + " has the BSN '" + bsn + "'";
            if (bsn == ErasedBsn)
                return start + ", as erased flash reads: the record has never been written, and nothing was " +
                       "written to it; the phone's BSN must be written to the phone before any station records a stage";
            return start + ", not ten decimal digits: the record is damaged, and nothing was written to it; " +
                   "check the phone's record with the vendor's tool: its BSN must be ten decimal digits before any " +
                   "station records a stage";
        }

        internal static void CloseOpen()
        {
            if (current != null) current.Dispose();
        }

        static bool IsDigits(string text)
        {
            foreach (char c in text) if (c < '0' || c > '9') return false;
            return true;
        }

        public string Bsn { get; private set; }

        /// <summary>The working copy, laid out as the header's TestHandle.</summary>
        public byte[] WorkingCopy()
        {
            Open();
            var bytes = new byte[WorkingCopySize];
            Marshal.Copy(copy, bytes, 0, WorkingCopySize);
            return bytes;
        }

        public Status StatusOf(Stage stage)
        {
            StageCalls calls = StageCalls.For(stage);
            Open();
            return (Status)calls.Status();
        }

        public void Record(Stage stage, bool passed)
        {
            StageCalls calls = StageCalls.For(stage);
            Open();
            if ((passed ? calls.Pass() : calls.Fail()) == 0)
                throw new StagemarkException("record", "writing the phone's record on COM" + port + " failed: " +
                                                       stage + " is not recorded on the phone; record it again");
        }

        /// <summary>The route check: true when every stage named passed.</summary>
        public bool Passed(params Stage[] stages)
        {
            if (stages == null || stages.Length == 0)
                throw new StagemarkException("argument", "name at least one stage to check");
            foreach (Stage stage in stages) StageCalls.For(stage);  // every name checked before any answer
            foreach (Stage stage in stages) if (StatusOf(stage) != Status.Passed) return false;
            return true;
        }

        void Open()
        {
            if (copy == IntPtr.Zero) throw new StagemarkException("argument", "the test handle is closed");
        }

        public void Dispose()
        {
            if (copy == IntPtr.Zero) return;
            Native.CloseTestHandle();
            copy = IntPtr.Zero;
            if (current == this) current = null;
        }
    }
}
