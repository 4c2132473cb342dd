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
        public readonly Func<int> Pass, Fail, Status, DirectPass, DirectFail;

        public StageCalls(Func<int> pass, Func<int> fail, Func<int> status, Func<int> directPass, Func<int> directFail)
        {
            Pass = pass; Fail = fail; Status = status; DirectPass = directPass; DirectFail = directFail;
        }

        public static readonly Dictionary<Stage, StageCalls> Of = new Dictionary<Stage, StageCalls>
        {
            { Stage.BSN, new StageCalls(Native.BSN_Pass, Native.BSN_Fail, Native.BSN_Status, Native.R_BSN_Pass, Native.R_BSN_Fail) },
            { Stage.BT, new StageCalls(Native.BT_Pass, Native.BT_Fail, Native.BT_Status, Native.R_BT_Pass, Native.R_BT_Fail) },
            { Stage.CT, new StageCalls(Native.CT_Pass, Native.CT_Fail, Native.CT_Status, Native.R_CT_Pass, Native.R_CT_Fail) },
            { Stage.LAMA, new StageCalls(Native.LAMA_Pass, Native.LAMA_Fail, Native.LAMA_Status, Native.R_LAMA_Pass, Native.R_LAMA_Fail) },
            { Stage.FT, new StageCalls(Native.FT_Pass, Native.FT_Fail, Native.FT_Status, Native.R_FT_Pass, Native.R_FT_Fail) },
            { Stage.IMEI, new StageCalls(Native.IMEI_Pass, Native.IMEI_Fail, Native.IMEI_Status, Native.R_IMEI_Pass, Native.R_IMEI_Fail) },
            { Stage.RES1, new StageCalls(Native.RES1_Pass, Native.RES1_Fail, Native.RES1_Status, Native.R_RES1_Pass, Native.R_RES1_Fail) },
            { Stage.RES2, new StageCalls(Native.RES2_Pass, Native.RES2_Fail, Native.RES2_Status, Native.R_RES2_Pass, Native.R_RES2_Fail) },
        };
    }

    /// <summary>The serial link to the phone on a port: InitTat, DetectMobile when a value
    /// is given (the vendor driver's own setting), and ExitTat on Dispose, on every path.</summary>
    public sealed class Link : IDisposable
    {
        readonly byte port;
        bool open;

        public Link(int port, int? detect = null)
        {
            Loader.CheckProcess();
            // One byte: 257 would wrap to COM1 and mark another phone.
            if (port < 0 || port > 255)
                throw new StagemarkException("argument", "port " + port + " is not a number from 0 to 255");
            this.port = (byte)port;
            if (Native.InitTat(this.port) == 0)
                throw new StagemarkException("open", "opening the link on COM" + port + " failed: the port does " +
                                                     "not exist or another program holds it; check the port number");
            open = true;
            if (detect.HasValue && Native.DetectMobile(detect.Value) == 0)
            {
                Dispose();
                throw new StagemarkException("detect", "detecting the phone on COM" + port + " failed: the driver " +
                                                       "found no phone; check it is connected and powered");
            }
        }

        public int Port { get { return port; } }

        /// <summary>The test handle on this link's phone; dispose it on every path.</summary>
        public TestHandle OpenHandle() { return new TestHandle(port); }

        /// <summary>Records the stage straight into the phone's record. The record is checked
        /// through a handle first, so a never-written record, or a handle left open, is refused.</summary>
        public void RecordDirect(Stage stage, bool passed)
        {
            using (OpenHandle()) { }
            StageCalls calls = StageCalls.Of[stage];
            if ((passed ? calls.DirectPass() : calls.DirectFail()) == 0)
                throw new StagemarkException("record", "recording " + stage + " on the phone on COM" + port +
                                                       " failed; check the phone and record it again");
        }

        public void Dispose()
        {
            if (!open) return;
            open = false;
            if (Native.ExitTat(port) == 0)
                throw new StagemarkException("close", "closing the link on COM" + port + " failed: reconnect " +
                                                      "the phone before the next station runs");
        }
    }

    /// <summary>The phone's record read once; every recorded result is written at once.
    /// Dispose it on every path: left open, it would write this phone's record onto the next.</summary>
    public sealed class TestHandle : IDisposable
    {
        public const int WorkingCopySize = 819;
        readonly byte port;
        IntPtr copy;

        internal TestHandle(byte port)
        {
            this.port = port;
            copy = Native.OpenTestHandle();
            if (copy == IntPtr.Zero)
                throw new StagemarkException("read", "reading the phone's record on COM" + port + " failed: the " +
                                                     "phone did not hand it over, or a handle is still open in " +
                                                     "this process; check the phone and close every handle");
            var buffer = new StringBuilder(11);
            Native.GetBsnStr(buffer);
            Bsn = buffer.ToString();
            if (Bsn.Length != 10 || !IsDigits(Bsn))
            {
                Dispose();
                throw new StagemarkException("check", "the phone's record on COM" + port + " has the BSN '" + Bsn +
                                                      "', not ten digits: it looks never written or damaged, and " +
                                                      "nothing was written");
            }
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
            Open();
            return (Status)StageCalls.Of[stage].Status();
        }

        public void Record(Stage stage, bool passed)
        {
            Open();
            StageCalls calls = StageCalls.Of[stage];
            if ((passed ? calls.Pass() : calls.Fail()) == 0)
                throw new StagemarkException("record", "writing the phone's record on COM" + port + " failed: " +
                                                       stage + " is not recorded on the phone; record it again");
        }

        /// <summary>The route check: true when every stage named passed.</summary>
        public bool Passed(params Stage[] stages)
        {
            if (stages.Length == 0) throw new StagemarkException("argument", "name at least one stage to check");
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
        }
    }
}
