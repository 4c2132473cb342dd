#!/usr/bin/env python3
"""The station tool run as a process, as a technician or a station script runs it.

Environment: STAGEMARK_TOOL and STAGEMARK_PHONE_TOOL (the two programs), STAGEMARK_RUNNER
(empty, or the Wine wrapper for the Windows build), STAGEMARK_LIBRARY and STAGEMARK_EXAMPLE
(the native library and the Python station example; empty for the Windows build).
"""
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

import test_shards

TOOL = os.environ["STAGEMARK_TOOL"]
PHONE_TOOL = os.environ["STAGEMARK_PHONE_TOOL"]
RUNNER = [r for r in [os.environ.get("STAGEMARK_RUNNER", "")] if r]
LIBRARY = os.environ.get("STAGEMARK_LIBRARY", "")
EXAMPLE = os.environ.get("STAGEMARK_EXAMPLE", "")
C_STATIONS = [s for s in os.environ.get("STAGEMARK_C_STATIONS", "").split(",") if s]
FAULTY_STATION = os.environ.get("STAGEMARK_FAULTY_STATION", "")
DOTNET_STATION = os.environ.get("STAGEMARK_DOTNET_STATION", "").split()  # the runtime, then the program
VERSION = os.environ.get("STAGEMARK_VERSION", "")  # the project's, as the build knows it
LINK_MS_PER_RECORD = 1036 * 10 / 115200 * 1000
RECORD_SIZE = 1036
PORT = 4


class Desk(unittest.TestCase):
    """A desk of its own for each test: an empty folder of simulated phones."""

    def setUp(self):
        if hasattr(self, "_folder"):
            self._folder.cleanup()  # a table's case starts on a desk of its own
        self._folder = tempfile.TemporaryDirectory()
        self.folder = pathlib.Path(self._folder.name)
        self.env = dict(os.environ, STAGEMARK_SIM_DIR=str(self.folder))

    def tearDown(self):
        self._folder.cleanup()

    def run_program(self, program, *args):
        return subprocess.run(RUNNER + [program, *map(str, args)], env=self.env, capture_output=True, text=True,
                              timeout=60)

    def tool(self, *args):
        return self.run_program(TOOL, *args)

    def insert(self, port=PORT, bsn="3579024680"):
        result = self.run_program(PHONE_TOOL, "insert", "--port", port, "--bsn", bsn)
        self.assertEqual(result.returncode, 0, result.stderr)

    def phone_file(self, port=PORT):
        return self.folder / f"port{port}.phone"


def damage(path):
    data = bytearray(path.read_bytes())
    data[810] ^= 0x40
    path.write_bytes(bytes(data))


def truncate(path):
    path.write_bytes(path.read_bytes()[:RECORD_SIZE - 1])


def with_check(record):
    return bytes(record) + zlib.crc32(bytes(record)).to_bytes(4, "little")


def erase_bsn(path):
    """A sound file whose record was never written where the BSN lives: flash reads 0xFF."""
    record = bytearray(path.read_bytes()[:RECORD_SIZE])
    record[789:794] = b"\xff" * 5
    path.write_bytes(with_check(record))


def erased_record():
    """Flash that was never written: every byte 0xFF, every stage reading as passed."""
    return with_check(b"\xff" * RECORD_SIZE)


class ExitCodes(Desk):
    # name, phone on the desk, what is done to its file, command, exit code, words on stdout or stderr
    CASES = [
        ("good phone", True, None, ["pass", "BSN"], ["check", "BSN", "--port", PORT], 0, "route check passed"),
        ("failed stage", True, None, ["fail", "FT"], ["check", "BSN", "FT", "--port", PORT], 1, "FT failed"),
        ("stage not recorded", True, None, ["pass", "BSN"], ["check", "BSN", "BT", "--port", PORT], 1,
         "BT not recorded"),
        ("no phone file", False, None, None, ["check", "BSN", "--port", PORT], 2,
         f"no phone on COM{PORT}; put one there with 'stagemark-phone insert --port {PORT}'"),
        ("damaged phone file", True, damage, None, ["status", "--port", PORT], 2,
         f"the phone's record on COM{PORT} is damaged"),
        ("wrongly sized phone file", True, truncate, None, ["check", "FT", "--port", PORT], 2,
         f"the phone's record on COM{PORT} is damaged"),
        ("phone never written", True, erase_bsn, None, ["check", "BSN", "--port", PORT], 2,
         "its BSN reads 'ffffffffff', as erased flash: the phone's record has never been written"),
        ("no phone detected", False, None, None, ["status", "--port", PORT, "--detect", 0], 2,
         f"detecting the phone on COM{PORT} failed: the phone driver found no phone"),
        ("link cannot open", True, None, None, ["status", "--port", 0], 2, "opening the link on COM0 failed"),
        ("port repeated", True, None, None, ["pass", "FT", "--port", PORT, "--port", 3], 64, "--port is given twice"),
        ("detect repeated", True, None, None, ["status", "--port", PORT, "--detect", 0, "--detect", 1], 64,
         "--detect is given twice"),
        ("json repeated", True, None, None, ["status", "--port", PORT, "--json", "--json"], 64,
         "--json is given twice"),
        ("bad stage name", True, None, None, ["check", "XT", "--port", PORT], 64, "unknown stage 'XT'"),
        ("port too high", True, None, None, ["status", "--port", 256], 64, "port '256'"),
        ("port negative", True, None, None, ["status", "--port", -1], 64, "port '-1'"),
        ("port with a blank", True, None, None, ["status", "--port", " 1"], 64, "port ' 1'"),
        ("port with a plus", True, None, None, ["status", "--port", "+1"], 64, "port '+1'"),
        ("port with a leading zero", True, None, None, ["status", "--port", "01"], 64, "port '01'"),
        ("port not a number", True, None, None, ["status", "--port", "COM1"], 64, "port 'COM1'"),
        ("port missing", True, None, None, ["status"], 64, "--port is required"),
        ("bad option", True, None, None, ["status", "--port", PORT, "--verbose"], 64, "unknown option"),
        ("unknown command", True, None, None, ["erase", "--port", PORT], 64, "unknown command"),
        ("pass needs one stage", True, None, None, ["pass", "BSN", "FT", "--port", PORT], 64, "one stage"),
    ]

    def test_cases(self):
        for name, has_phone, spoil, before, command, code, words in self.CASES:
            with self.subTest(name):
                self.setUp()
                try:
                    if has_phone:
                        self.insert()
                    if before:
                        self.assertEqual(self.tool(*before, "--port", PORT).returncode, 0)
                    if spoil:
                        spoil(self.phone_file())
                    result = self.tool(*command)
                    self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                    self.assertIn(words, result.stdout + result.stderr)
                    if code == 2:
                        self.assertEqual(len(result.stderr.strip().splitlines()), 1, "one line names the step")
                finally:
                    self.tearDown()


class StationProcesses(Desk):
    def test_two_processes_in_a_row_meet_the_same_phone(self):
        self.insert(bsn="1234509876")
        recorded = self.tool("fail", "lama", "--port", PORT)
        self.assertEqual(recorded.returncode, 0, recorded.stderr)
        self.assertIn("LAMA recorded as failed on phone 1234509876", recorded.stdout)
        status = json.loads(self.tool("status", "--port", PORT, "--json").stdout)
        self.assertEqual(status["bsn"], "1234509876")
        lama = next(s for s in status["stages"] if s["stage"] == "LAMA")
        self.assertEqual(lama["status"], "failed")
        self.assertRegex(lama["recorded"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")

    def test_json_output(self):
        self.insert()
        for stage, verb in (("BSN", "pass"), ("BT", "pass"), ("CT", "fail")):
            self.assertEqual(self.tool(verb, stage, "--port", PORT).returncode, 0)
        status = json.loads(self.tool("status", "--port", PORT, "--json").stdout)
        self.assertEqual(status["port"], PORT)
        self.assertEqual([s["stage"] for s in status["stages"]],
                         ["BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2"])
        self.assertEqual([s["status"] for s in status["stages"][:4]], ["passed", "passed", "failed", "not recorded"])
        self.assertIsNone(status["stages"][3]["recorded"])

        check = self.tool("check", "bsn", "ct", "ft", "--port", PORT, "--json")
        self.assertEqual(check.returncode, 1)
        verdict = json.loads(check.stdout)
        self.assertFalse(verdict["passed"])
        self.assertEqual(verdict["refused"], ["CT", "FT"])
        self.assertEqual([s["status"] for s in verdict["stages"]], ["passed", "failed", "not recorded"])

    def test_only_pass_and_fail_write_to_the_phone(self):
        self.insert()
        before = self.phone_file().read_bytes()
        for command in (["status"], ["check", "BSN"], ["status", "--detect", 5]):
            self.tool(*command, "--port", PORT)
        self.assertEqual(self.phone_file().read_bytes(), before)
        self.assertEqual(self.tool("pass", "IMEI", "--port", PORT).returncode, 0)
        self.assertNotEqual(self.phone_file().read_bytes(), before)

    def test_damaged_phone_is_never_replaced(self):
        self.insert()
        damage(self.phone_file())
        damaged = self.phone_file().read_bytes()
        result = self.tool("pass", "BSN", "--port", PORT)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(self.phone_file().read_bytes(), damaged)

    def test_help(self):
        for args in (["--help"], ["status", "--help"], ["check", "--help"], ["pass", "--help"]):
            result = self.tool(*args)
            self.assertEqual(result.returncode, 0)
            self.assertIn("usage: stagemark", result.stdout)

    def test_record_file_is_old_or_new_never_a_mixture(self):
        """A reader racing the writes only ever sees whole records with a matching check sum."""
        self.insert()
        path, seen, torn, stop = self.phone_file(), set(), [], threading.Event()

        def read_continuously():
            while not stop.is_set():
                try:
                    data = path.read_bytes()
                except OSError:
                    torn.append("missing")  # the rename replaces the file, never removes it
                    continue
                crc = int.from_bytes(data[RECORD_SIZE:], "little")
                if len(data) != RECORD_SIZE + 4 or crc != zlib.crc32(data[:RECORD_SIZE]):
                    torn.append(len(data))
                seen.add(data)

        reader = threading.Thread(target=read_continuously)
        reader.start()
        try:
            rounds = 8 if RUNNER else 30
            for i in range(rounds):
                self.assertEqual(self.tool("pass" if i % 2 else "fail", "RES1", "--port", PORT).returncode, 0)
        finally:
            stop.set()
            reader.join()
        self.assertEqual(torn, [])
        self.assertGreater(len(seen), 1, "the reader saw the record change")
        self.assertEqual([p.name for p in self.folder.iterdir() if ".tmp" in p.name], [], "no temporary file left")


class RefusalsWriteNothing(Desk):
    """What the tool cannot take for sure never reaches the phone."""

    def test_refused_commands_leave_the_phone_as_it_was(self):
        cases = [
            ("a repeated port", None, ["pass", "FT", "--port", PORT, "--port", PORT], 64),
            ("a never-written record", lambda p: p.write_bytes(erased_record()), ["pass", "FT", "--port", PORT], 2),
            ("a never-written BSN", erase_bsn, ["fail", "BT", "--port", PORT], 2),
        ]
        for name, spoil, command, code in cases:
            with self.subTest(name):
                self.setUp()
                try:
                    self.insert()
                    if spoil:
                        spoil(self.phone_file())
                    before = self.phone_file().read_bytes()
                    result = self.tool(*command)
                    self.assertEqual(result.returncode, code, result.stderr)
                    self.assertEqual(self.phone_file().read_bytes(), before)
                finally:
                    self.tearDown()

    def test_an_erased_record_does_not_pass_the_route_check(self):
        self.insert()
        self.phone_file().write_bytes(erased_record())
        result = self.tool("check", "BSN", "BT", "CT", "LAMA", "FT", "IMEI", "--port", PORT, "--json")
        self.assertEqual(result.returncode, 2)
        failure = json.loads(result.stdout)
        self.assertEqual((failure["step"], failure["port"]), ("check", PORT))
        self.assertIn("the phone's record has never been written", failure["error"])

    def test_failures_in_json_carry_the_step(self):
        # No phone on the port; COM0 has no device, so its link cannot open.
        for command, port, step in ((["status"], PORT, "read"), (["check", "FT"], 0, "open")):
            with self.subTest(step):
                result = self.tool(*command, "--port", port, "--json")
                self.assertEqual(result.returncode, 2)
                failure = json.loads(result.stdout)
                self.assertEqual((failure["step"], failure["port"]), (step, port))
                self.assertIn(f"COM{port} failed", failure["error"])


class StampsPast2038(Desk):
    def test_stamps_show_as_utc_up_to_2106(self):
        self.insert()
        record = bytearray(self.phone_file().read_bytes()[:RECORD_SIZE])
        record[810] = record[811] = 0xC0  # BSN and BT passed
        record[838:846] = (0x80000000).to_bytes(4, "big") + (0xFFFFFFFF).to_bytes(4, "big")
        self.phone_file().write_bytes(with_check(record))
        stages = json.loads(self.tool("status", "--port", PORT, "--json").stdout)["stages"]
        self.assertEqual([s["recorded"] for s in stages[:2]], ["2038-01-19T03:14:08Z", "2106-02-07T06:28:15Z"])


class DeskCommand(Desk):
    def phone(self, *args):
        return self.run_program(PHONE_TOOL, *args)

    def test_usage_errors(self):
        cases = [
            ("port repeated", ["insert", "--port", 1, "--port", 2], "--port is given twice"),
            ("bsn repeated", ["insert", "--port", 1, "--bsn", "1111111111", "--bsn", "2222222222"],
             "--bsn is given twice"),
            ("port too high", ["remove", "--port", 256], "port '256'"),
            ("port with a blank", ["remove", "--port", " 1"], "port ' 1'"),
            ("port with a plus", ["set", "--port", "+1", "BT=failed"], "port '+1'"),
            ("port with a leading zero", ["insert", "--port", "01"], "port '01'"),
            ("port zero, which no station opens", ["insert", "--port", 0], "port '0' is not a number from 1 to 255"),
            ("bsn not digits", ["insert", "--port", 1, "--bsn", "12345abcde"], "not ten decimal digits"),
        ]
        for name, args, words in cases:
            with self.subTest(name):
                result = self.phone(*args)
                self.assertEqual(result.returncode, 64, result.stderr)
                self.assertIn(words, result.stderr)
        self.assertEqual(list(self.folder.iterdir()), [], "no phone was put anywhere")

    def test_help(self):
        for args in (["--help"], ["insert", "--help"], ["remove", "--port", 1, "--help"]):
            result = self.phone(*args)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("usage: stagemark-phone", result.stdout)

    def test_insert_never_replaces_a_phone_file(self):
        self.insert()
        damage(self.phone_file())
        damaged = self.phone_file().read_bytes()
        result = self.phone("insert", "--port", PORT, "--bsn", "1111111111")
        self.assertEqual(result.returncode, 1)
        self.assertIn("a phone file is already there", result.stderr)
        self.assertEqual(self.phone_file().read_bytes(), damaged)

    def test_remove_tells_no_phone_from_could_not_remove(self):
        self.assertIn(f"no phone on COM{PORT}", self.phone("remove", "--port", PORT).stderr)
        (self.phone_file() / "held").mkdir(parents=True)  # a file system object that will not go
        result = self.phone("remove", "--port", PORT)
        self.assertEqual(result.returncode, 1)
        self.assertIn("could not be removed", result.stderr)


@unittest.skipIf(RUNNER, "device files, FIFOs and descriptors of the native build")
class HostileDesk(Desk):
    """Whatever sits where a phone file belongs, a station gets a failed read, never a hang or an abort."""

    def test_no_phone_file_can_hang_or_abort_a_station(self):
        def directory(path):
            path.mkdir()

        def fifo(path):
            os.mkfifo(path)

        def device(path):
            path.symlink_to("/dev/zero")

        def huge(path):
            with open(path, "wb") as f:
                f.truncate(2 << 30)

        for name, plant in (("directory", directory), ("fifo", fifo), ("/dev/zero", device), ("2 GB", huge)):
            with self.subTest(name):
                self.setUp()
                try:
                    plant(self.phone_file())
                    for command in (["status"], ["pass", "FT"]):
                        result = self.tool(*command, "--port", PORT)
                        self.assertEqual(result.returncode, 2, result.stderr)
                        self.assertIn("reading the phone's record", result.stderr)
                    inserted = self.run_program(PHONE_TOOL, "insert", "--port", PORT)
                    self.assertEqual(inserted.returncode, 1, inserted.stderr)
                finally:
                    self.tearDown()

    def test_output_that_cannot_be_written_fails(self):
        self.insert()
        for command in (["status", "--json"], ["check", "BSN"], ["pass", "FT"]):
            with self.subTest(" ".join(command)), open("/dev/full", "w") as full:
                result = subprocess.run([TOOL, *command, "--port", str(PORT)], env=self.env, stdout=full,
                                        stderr=subprocess.PIPE, text=True, timeout=60)
                self.assertEqual(result.returncode, 74, result.stderr)
                self.assertIn("writing the output failed", result.stderr)
        with open("/dev/full", "w") as full:
            where = subprocess.run([PHONE_TOOL, "where", "--port", str(PORT)], env=self.env, stdout=full, timeout=60)
        self.assertEqual(where.returncode, 74)
        before = self.phone_file().read_bytes()
        closed = subprocess.run(f'exec "{TOOL}" pass FT --port {PORT} >&-', shell=True, env=self.env,
                                stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(closed.returncode, 74)
        self.assertEqual(self.phone_file().read_bytes(), before, "nothing is recorded that cannot be reported")

    def test_a_desk_folder_others_can_write_or_own_is_refused(self):
        self.insert()
        before = self.phone_file().read_bytes()
        spoils = [("other users can write to it", lambda: self.folder.chmod(0o777))]
        if os.geteuid() == 0:
            spoils.append(("another user owns it", lambda: os.chown(self.folder, 65534, 65534)))
        for words, spoil in spoils:
            with self.subTest(words):
                spoil()
                try:
                    for run in (self.tool("pass", "FT", "--port", PORT),
                                self.run_program(PHONE_TOOL, "insert", "--port", PORT + 1)):
                        self.assertNotEqual(run.returncode, 0)
                        self.assertIn(f"the desk folder {self.folder} cannot be used: {words}", run.stderr)
                        self.assertIn("set STAGEMARK_SIM_DIR to a folder of your own", run.stderr)
                finally:
                    self.folder.chmod(0o700)
                    os.chown(self.folder, os.geteuid(), os.getegid())
        self.assertEqual(self.phone_file().read_bytes(), before)
        self.assertFalse(self.phone_file(PORT + 1).exists())

    def test_the_default_desk_folder_is_private(self):
        env = {k: v for k, v in self.env.items() if k != "STAGEMARK_SIM_DIR"}
        inserted = subprocess.run([PHONE_TOOL, "insert", "--port", "1"], env=dict(env, TMPDIR=str(self.folder)),
                                  capture_output=True, text=True, timeout=60)
        self.assertEqual(inserted.returncode, 0, inserted.stderr)
        self.assertEqual((self.folder / "stagemark-sim").stat().st_mode & 0o777, 0o700)

    def test_temporary_files_of_killed_writers_are_cleaned_up(self):
        self.insert()
        ended = subprocess.Popen(["true"])
        ended.wait()  # its writer is gone, as after a kill -9
        stale = self.folder / f"{self.phone_file().name}.tmp{ended.pid}-dead-1"
        stale.write_bytes(b"half a record")
        live = self.folder / f"{self.phone_file().name}.tmp{os.getpid()}-alive-1"
        live.write_bytes(b"being written")
        self.assertEqual(self.tool("pass", "FT", "--port", PORT).returncode, 0)
        self.assertFalse(stale.exists())
        self.assertTrue(live.exists(), "a running writer's file is left alone")

    def test_a_link_at_the_phone_file_is_neither_followed_nor_written_through(self):
        self.insert()
        victim = self.folder / "victim"
        self.phone_file().rename(victim)
        before = victim.read_bytes()
        self.phone_file().symlink_to(victim)
        refused = self.tool("pass", "FT", "--port", PORT)
        self.assertEqual(refused.returncode, 2)
        self.assertIn("cannot be read", refused.stderr)
        self.assertTrue(self.phone_file().is_symlink())
        self.assertEqual(victim.read_bytes(), before)

    def test_a_missing_temp_folder_is_never_the_current_directory(self):
        env = {k: v for k, v in self.env.items() if k != "STAGEMARK_SIM_DIR"}
        for tmpdir in ("/no/such/folder", ""):
            with self.subTest(tmpdir=tmpdir):
                where = subprocess.run([PHONE_TOOL, "where", "--port", "1"], env=dict(env, TMPDIR=tmpdir),
                                       cwd=self.folder, capture_output=True, text=True, timeout=60)
                self.assertIn("(its file would be /tmp/stagemark-sim/port1.phone)", where.stderr)


class ToolWithoutItsLibraries(Desk):
    """Help and usage errors need no library; a missing one is one line that names it."""

    def tool_in(self, folder, *libraries):
        folder.mkdir()
        for name in (pathlib.Path(TOOL).name, *libraries):
            shutil.copy(pathlib.Path(TOOL).parent / name, folder)
        return str(folder / pathlib.Path(TOOL).name)

    def test_each_missing_library_is_named(self):
        libraries = ["stagemark.dll", "sl.dll", "dv.dll"] if RUNNER else ["libstagemark.so"]
        for missing in libraries:
            with self.subTest(missing=missing):
                tool = self.tool_in(self.folder / missing, *[n for n in libraries if n != missing])
                self.assertEqual(self.run_program(tool, "--help").returncode, 0)
                self.assertEqual(self.run_program(tool, "status", "--port", 1, "--port", 2).returncode, 64)
                result = self.run_program(tool, "status", "--port", 1)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)
                self.assertIn(missing, result.stderr)


class CStationExample(Desk):
    """The C station, as built with MinGW (or natively) and, for Windows, as Visual C++ builds it."""

    def test_route_check_then_result(self):
        for station in C_STATIONS:
            with self.subTest(pathlib.Path(station).name):
                self.setUp()
                try:
                    self.insert()
                    refused = self.run_program(station, PORT, "FT", "BSN")
                    self.assertEqual(refused.returncode, 1, refused.stderr)
                    self.assertIn("phone 3579024680 refused: BSN has not passed", refused.stdout)
                    for args in ((PORT, "bsn"), (PORT, "FT", "Bsn")):
                        run = self.run_program(station, *args)
                        self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertIn("FT recorded as passed", run.stdout)
                    self.assertEqual(self.tool("check", "BSN", "FT", "--port", PORT).returncode, 0)
                finally:
                    self.tearDown()

    def test_each_failing_step_is_named(self):
        cases = [
            ("port too high", None, [256, "FT"], 64, "not a port from 0 to 255"),
            *[(f"port {text!r}", None, [text, "FT"], 64, f"not a port from 0 to 255: '{text}'")
              for text in (" 12", "+12", "012", "12 ")],
            ("unknown stage", None, [PORT, "XT"], 64, "unknown stage 'XT'"),
            ("link", None, [0, "FT"], 2, "opening the link on COM0 failed"),
            ("no phone", None, [PORT, "FT"], 2, "detecting the phone"),
            ("never written", erase_bsn, [PORT, "FT"], 2, "record never written or damaged"),
        ]
        for station in C_STATIONS:
            for name, spoil, args, code, words in cases:
                with self.subTest(f"{pathlib.Path(station).name}: {name}"):
                    self.setUp()
                    try:
                        if spoil:
                            self.insert()
                            spoil(self.phone_file())
                        result = self.run_program(station, *args)
                        self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                        self.assertIn(words, result.stderr)
                    finally:
                        self.tearDown()


class DeskSession(Desk):
    """The desk across processes: the desk commands are some, the station programs others."""

    def phone(self, *args):
        return self.run_program(PHONE_TOOL, *args)

    def trace(self, port=PORT):
        result = self.phone("trace", "--port", port, "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def checks(self, port=PORT):
        return [e["detail"] for e in self.trace(port)["entries"] if e["op"] == "check"]

    def stages(self):
        return {s["stage"]: s["status"] for s in json.loads(self.tool("status", "--port", PORT, "--json").stdout)["stages"]}

    def test_set_prepares_the_phone_a_test_needs(self):
        self.insert()
        self.assertEqual(self.phone("set", "--port", PORT, "BSN=passed", "bt=Failed".lower()).returncode, 0)
        refused = self.tool("check", "BSN", "BT", "--port", PORT)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("BT failed", refused.stdout)
        self.assertEqual(self.phone("set", "--port", PORT, "BT=unrecorded").returncode, 0)
        self.assertEqual((self.stages()["BSN"], self.stages()["BT"]), ("passed", "not recorded"))
        for args, code in ((["XT=passed"], 64), (["BT=maybe"], 64), (["BT=passed", "bt=failed"], 64)):
            with self.subTest(args):
                self.assertEqual(self.phone("set", "--port", PORT, *args).returncode, code)
        self.assertEqual(self.phone("set", "--port", PORT + 1, "BT=passed").returncode, 1, "no phone there")

    def test_planned_faults_meet_the_next_station_process(self):
        self.insert()
        self.assertEqual(self.phone("fault", "--port", PORT, "write").returncode, 0)
        failed = self.tool("pass", "FT", "--port", PORT)
        self.assertEqual(failed.returncode, 2)
        self.assertIn("writing the phone's record", failed.stderr)
        self.assertEqual(self.tool("pass", "FT", "--port", PORT).returncode, 0, "a once-fault is consumed")

        self.assertEqual(self.phone("fault", "--port", PORT, "read", "--from-now").returncode, 0)
        for _ in range(2):
            self.assertEqual(self.tool("status", "--port", PORT).returncode, 2)
        self.assertIn("the next read fails, and every one", self.phone("fault", "--port", PORT).stdout)
        self.assertEqual(self.phone("fault", "--port", PORT, "--clear").returncode, 0)
        self.assertEqual(self.tool("status", "--port", PORT).returncode, 0)

        self.assertEqual(self.phone("fault", "--port", PORT, "open").returncode, 0)
        self.assertIn("opening the link", self.tool("status", "--port", PORT).stderr)
        self.assertEqual(self.phone("fault", "--port", PORT + 1, "tls").returncode, 0)
        self.assertEqual(self.tool("status", "--port", PORT).returncode, 2, "tls meets the next station anywhere")
        self.assertEqual(self.tool("status", "--port", PORT).returncode, 0)
        for args in (["erase"], ["read", "--once", "--from-now"], ["read", "--clear"]):
            with self.subTest(args):
                self.assertEqual(self.phone("fault", "--port", PORT, *args).returncode, 64)

    def test_the_trace_shows_each_call_with_its_link_time(self):
        self.insert()
        self.assertEqual(self.tool("pass", "FT", "--port", PORT, "--detect", 7).returncode, 0)
        trace = self.trace()
        self.assertEqual([e["op"] for e in trace["entries"]],
                         ["tls", "open", "init", "detect", "read", "write", "close", "free"])
        read, write = trace["entries"][4:6]
        self.assertEqual((read["bytes"], write["bytes"]), (1036, 1036))
        self.assertAlmostEqual(read["link_ms"], LINK_MS_PER_RECORD, places=3)
        self.assertIn("value 7", trace["entries"][3]["detail"])
        [process] = trace["processes"]
        self.assertEqual((process["calls"], process["bytes"], process["checks"]), (8, 2072, 0))
        self.assertAlmostEqual(process["link_ms"], 2 * LINK_MS_PER_RECORD, places=3)
        self.assertIn("link at least 89.9 ms", self.phone("trace", "--port", PORT).stdout)
        self.assertEqual(self.phone("trace", "--port", PORT, "--clear").returncode, 0)
        self.assertEqual(self.trace()["entries"], [])

    def test_damaged_desk_files_give_a_clear_error_and_stations_go_on(self):
        self.insert()
        (self.folder / "desk.trace").write_bytes(b"not\ta trace line\n\xff\xfe\n")
        (self.folder / f"port{PORT}.faults").write_bytes(b"explode now\n")
        self.assertEqual(self.tool("pass", "FT", "--port", PORT).returncode, 0)
        trace = self.phone("trace", "--port", PORT)
        self.assertEqual(trace.returncode, 0)
        self.assertIn("2 line(s) of the trace could not be read", trace.stderr)
        self.assertIn("write", trace.stdout)
        faults = self.phone("fault", "--port", PORT)
        self.assertEqual(faults.returncode, 1)
        self.assertIn("could not be read; clear them", faults.stderr)
        (self.folder / "desk.trace").unlink()
        (self.folder / "desk.trace").mkdir()
        self.assertEqual(self.tool("pass", "BT", "--port", PORT).returncode, 0, "a station never fails for the trace")
        broken = self.phone("trace", "--port", PORT)
        self.assertEqual(broken.returncode, 1)
        self.assertIn("reading the trace failed", broken.stderr)

    @unittest.skipIf(RUNNER, "the desk's lock is held here through Linux's flock")
    def test_a_program_stopped_on_the_desks_lock_hangs_nothing_and_passes_no_planned_fault(self):
        import fcntl
        self.insert()
        self.assertEqual(self.phone("fault", "--port", PORT, "write", "--from-now").returncode, 0)
        lock = os.open(self.folder / "desk.lock", os.O_RDWR | os.O_CREAT, 0o600)
        try:
            fcntl.flock(lock, fcntl.LOCK_EX)
            planned = self.phone("fault", "--port", PORT, "read")
            self.assertEqual(planned.returncode, 1)
            self.assertIn("stayed held", planned.stderr)
            station = self.tool("pass", "FT", "--port", PORT)
            self.assertEqual(station.returncode, 2, "a planned write fault is met, not passed over")
        finally:
            os.close(lock)
        self.assertIn("failed as if a fault were planned", " ".join(self.checks(PORT)))
        self.assertEqual(self.tool("status", "--port", PORT).returncode, 0)

    def test_an_erased_phone_is_refused_and_decoded_as_erased(self):
        self.assertEqual(self.phone("insert", "--port", PORT, "--erased").returncode, 0)
        before = self.phone_file().read_bytes()
        self.assertEqual(before[:RECORD_SIZE], b"\xff" * RECORD_SIZE)
        for args in (["status"], ["check", "BSN"], ["pass", "FT"], ["fail", "FT"]):
            with self.subTest(args[0]):
                refused = self.tool(*args, "--port", PORT)
                self.assertEqual(refused.returncode, 2, refused.stdout)
                self.assertIn("the phone's record has never been written", refused.stderr)
        set_on_it = self.phone("set", "--port", PORT, "BT=passed")
        self.assertEqual(set_on_it.returncode, 1)
        self.assertIn("never written", set_on_it.stderr)
        self.assertEqual(self.phone_file().read_bytes(), before, "nothing was written to the erased phone")
        dump = self.folder / "erased.bin"
        dump.write_bytes(before[:RECORD_SIZE])
        decoded = self.tool("decode", dump)
        self.assertEqual(decoded.returncode, 0)
        self.assertIn("erased", decoded.stdout)
        self.assertNotIn("passed", decoded.stdout)
        self.assertTrue(json.loads(self.tool("decode", dump, "--json").stdout)["erased"])

    def test_decode_shows_a_record_dump_as_status_shows_a_phone(self):
        self.insert()
        self.assertEqual(self.phone("set", "--port", PORT, "BSN=passed", "LAMA=failed").returncode, 0)
        record = self.phone_file().read_bytes()[:RECORD_SIZE]
        dump, altered, short = self.folder / "dump.bin", self.folder / "altered.bin", self.folder / "short.bin"
        dump.write_bytes(record)
        altered.write_bytes(record[:780] + b"\x07" + record[781:])
        short.write_bytes(record[:-1])
        decoded = json.loads(self.tool("decode", dump, "--json").stdout)
        self.assertEqual(decoded["stages"], json.loads(self.tool("status", "--port", PORT, "--json").stdout)["stages"])
        self.assertEqual((decoded["bsn"], decoded["conforms"]), ("3579024680", True))
        differing = json.loads(self.tool("decode", altered, "--json").stdout)
        self.assertEqual(differing["differing"], [{"field": "header", "offset": 780, "length": 8}])
        self.assertIn("differs from what stagemark writes: header at 780", self.tool("decode", altered).stdout)
        for path, words in ((short, "it is 1035 bytes"), (self.folder, "not a regular file")):
            with self.subTest(words):
                refused = self.tool("decode", path)
                self.assertEqual(refused.returncode, 2)
                self.assertIn(words, refused.stderr)
        self.assertEqual(self.tool("decode", dump, "--port", PORT).returncode, 64)

    def test_a_desk_folder_named_in_any_language(self):
        desk = self.folder / "desk-\u00fc-\u6d4b\u8bd5"
        self.env["STAGEMARK_SIM_DIR"] = str(desk)
        self.assertEqual(self.phone("insert", "--port", PORT).returncode, 0)
        self.assertEqual(self.tool("pass", "FT", "--port", PORT).returncode, 0)
        self.assertEqual(json.loads(self.tool("status", "--port", PORT, "--json").stdout)["stages"][4]["status"],
                         "passed")
        self.assertTrue((desk / f"port{PORT}.phone").is_file())

    @unittest.skipUnless(FAULTY_STATION, "needs the faulty station programs")
    def test_the_mistakes_that_write_wrong_phones_are_caught(self):
        self.insert(port=1, bsn="1111111111")
        self.insert(port=2, bsn="2222222222")
        cases = [
            (["handle-across-ports", 1, 2], 2,
             "phone 2222222222 was written with the record of phone 1111111111: a test handle was left open"),
            (["direct-beside-handle", 1], 1, "the write to phone 1111111111 undid CT failed"),
            (["no-exit", 1], 1, "ended with its link on COM1 open: call ExitTat"),
            (["no-link"], 1, "with no open link: call InitTat"),
        ]
        for args, port, words in cases:
            with self.subTest(args[0]):
                run = self.run_program(FAULTY_STATION, *args)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertTrue(any(words in check for check in self.checks(port)), self.checks(port))

    @unittest.skipUnless(FAULTY_STATION, "needs the faulty station programs")
    def test_a_port_is_held_by_the_process_whose_link_is_open(self):
        self.insert()
        # Held until its input ends, however long the tool takes to start.
        holder = subprocess.Popen(RUNNER + [FAULTY_STATION, "hold", str(PORT)], env=self.env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "holding")
            busy = self.tool("pass", "FT", "--port", PORT)
            self.assertEqual(busy.returncode, 2)
            self.assertIn(f"COM{PORT} is in use by another program", busy.stderr)
        finally:
            holder.stdin.close()
            self.assertEqual(holder.wait(timeout=60), 0)
            holder.stdout.close()
        self.assertEqual(self.tool("pass", "FT", "--port", PORT).returncode, 0, "free once the holder exits")
        if not RUNNER:
            killed = subprocess.Popen([FAULTY_STATION, "hold", str(PORT), "60000"], env=self.env,
                                      stdout=subprocess.PIPE, text=True)
            self.assertEqual(killed.stdout.readline().strip(), "holding")
            killed.kill()
            killed.wait()
            self.assertEqual(self.tool("status", "--port", PORT).returncode, 0, "the system frees a dead holder's port")

    def test_racing_stations_never_lose_a_result(self):
        self.insert()
        rounds = 5 if RUNNER else 30
        for _ in range(rounds):
            self.assertEqual(self.phone("set", "--port", PORT, "RES1=unrecorded", "RES2=unrecorded").returncode, 0)
            racers = [subprocess.Popen(RUNNER + [TOOL, "pass", stage, "--port", str(PORT)], env=self.env,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                      for stage in ("RES1", "RES2")]
            outcomes = [(r.wait(timeout=60), r.stderr.read()) for r in racers]
            for r in racers:
                r.stdout.close()
                r.stderr.close()
            stages = self.stages()
            for (code, stderr), stage in zip(outcomes, ("RES1", "RES2")):
                self.assertIn(code, (0, 2), stderr)
                if code == 0:
                    self.assertEqual(stages[stage], "passed", "a result reported as recorded was lost")
                else:
                    self.assertIn("is in use by another program", stderr)

    def test_pacing_takes_the_link_time(self):
        self.insert()
        self.assertEqual(self.phone("pace", "--port", PORT, "on").returncode, 0)
        started = time.monotonic()
        self.assertEqual(self.tool("pass", "FT", "--port", PORT).returncode, 0)
        self.assertGreaterEqual(time.monotonic() - started, 2 * LINK_MS_PER_RECORD / 1000)
        self.assertEqual(self.phone("pace", "--port", PORT, "off").returncode, 0)
        self.assertEqual(self.phone("pace", "--port", PORT, "fast").returncode, 64)

    @unittest.skipIf(RUNNER or not FAULTY_STATION, "many calls: the native build")
    def test_the_trace_is_bounded_and_loses_no_line_of_two_processes(self):
        ports, count = (PORT, PORT + 1), 12000
        for port in ports:
            self.insert(port=port)
        runs = [subprocess.Popen([FAULTY_STATION, "detect", str(port), str(count)], env=self.env) for port in ports]
        self.assertEqual([r.wait(timeout=300) for r in runs], [0, 0])
        kept = 0
        for port, run in zip(ports, runs):
            trace = self.trace(port)
            self.assertEqual(trace["damaged_lines"], 0)
            values = [int(e["detail"].split()[-1]) for e in trace["entries"] if e["op"] == "detect"]
            self.assertEqual(values, list(range(values[0], count)), "a process's kept lines are its last, all of them")
            kept += len(values)
        self.assertGreaterEqual(kept, 5000)
        self.assertLess(kept, 2 * count, "older lines were dropped")
        self.assertTrue(trace["dropped"], "the trace says that older lines were dropped")
        self.assertTrue(self.phone("trace", "--port", PORT).stdout.startswith("older calls were dropped"))


def zeroed_record():
    """A phone fresh from its programming step: every byte 0x00, so the BSN reads 0000000000."""
    return with_check(b"\x00" * RECORD_SIZE)


def zero_header(path):
    record = bytearray(path.read_bytes()[:RECORD_SIZE])
    record[780:788] = b"\x00" * 8
    path.write_bytes(with_check(record))


class NeighbouringPorts(Desk):
    """Two- and three-digit ports reach the phone on that port and no other."""

    def test_each_port_marks_its_own_phone_and_leaves_its_neighbours(self):
        # Windows names ports from COM10 up in the device namespace: two and three digits run there too.
        ports = [10, 11, 255] if RUNNER else [1, 9, 10, 11, 99, 100, 101, 254, 255]
        for port in ports:
            self.insert(port=port, bsn=f"{3000000000 + port}")
        for port in ports:
            with self.subTest(port=port):
                before = {p: self.phone_file(p).read_bytes() for p in ports}
                marked = self.tool("fail", "RES2", "--port", port, "--json")
                self.assertEqual(marked.returncode, 0, marked.stderr)
                self.assertEqual(json.loads(marked.stdout)["bsn"], f"{3000000000 + port}", "the phone on that port")
                self.assertEqual([p for p in ports if self.phone_file(p).read_bytes() != before[p]], [port])
        self.assertEqual(sorted(p.name for p in self.folder.glob("*.phone")),
                         sorted(f"port{p}.phone" for p in ports), "each desk command put its phone on its port")


class JsonOnEveryFailure(Desk):
    """With --json anywhere on the command line, a failure is one JSON object on stdout, usage errors too."""

    def test_usage_errors_in_json(self):
        cases = [
            (["pass", "XT", "--port", 1, "--json"], "unknown stage 'XT'"),
            (["status", "--port", 300, "--json"], "port '300'"),
            (["--json", "status", "--port", 1], "unknown command '--json'"),
            (["status", "--json", "--port", 1, "--port", 2], "--port is given twice"),
            (["status", "--port", 1, "--json", "--json"], "--json is given twice"),
            (["check", "--json", "--port", 1], "check needs a stage"),
            (["decode", "--json"], "decode needs a file"),
            (["decode", "dump.bin", "--json", "--port", 0], "decode reads a file, not a port"),
            (["status", "--port", 1, "--json", "--verbose"], "unknown option '--verbose'"),
        ]
        for args, words in cases[:2] if RUNNER else cases:
            with self.subTest(" ".join(map(str, args))):
                result = self.tool(*args)
                self.assertEqual(result.returncode, 64, result.stderr)
                failure = json.loads(result.stdout)
                self.assertEqual((failure["step"], failure["port"]), ("usage", None))
                self.assertIn(words, failure["error"])
                self.assertIn(words, result.stderr)
        self.assertEqual(list(self.folder.iterdir()), [], "no phone was reached")

    def test_a_failed_close_is_one_object_that_keeps_what_the_command_learned(self):
        self.insert()
        self.assertEqual(self.tool("pass", "BSN", "--port", PORT).returncode, 0)
        # command, faults planned before it, the step named, what the object still says
        cases = [
            (["pass", "LAMA"], ["close"], "close", lambda o: (o["stage"], o["status"]) == ("LAMA", "passed")
             and bool(o["recorded"])),
            (["status"], ["close"], "close", lambda o: o["stages"][0]["status"] == "passed"),
            (["check", "BSN", "FT"], ["close"], "close", lambda o: o["refused"] == ["FT"] and o["passed"] is False),
            (["pass", "FT"], ["close", "write"], "write", lambda o: "closing the link" in o["error"]),
        ]
        for command, faults, step, kept in cases:
            with self.subTest(" ".join(command + faults)):
                for op in faults:
                    self.assertEqual(self.run_program(PHONE_TOOL, "fault", "--port", PORT, op).returncode, 0)
                result = self.tool(*command, "--port", PORT, "--json")
                self.assertEqual(result.returncode, 2, result.stderr)
                failure = json.loads(result.stdout)  # one object: a second would be extra data
                self.assertEqual((failure["step"], failure["port"]), (step, PORT))
                self.assertIn("closing the link", failure["error"])
                self.assertTrue(kept(failure), failure)
        status = json.loads(self.tool("status", "--port", PORT, "--json").stdout)
        stages = {s["stage"]: s["status"] for s in status["stages"]}
        self.assertEqual((stages["LAMA"], stages["FT"]), ("passed", "not recorded"))

    def test_the_desk_trace_fails_in_json(self):
        desk_file = self.folder / "a-file"
        desk_file.write_text("not a folder\n")
        # args, desk folder, exit code, step, words
        cases = [
            (["trace", "--port", 999, "--json"], self.folder, 64, "usage", "port '999'"),
            (["trace", "--json", "--json", "--port", 1], self.folder, 64, "usage", "--json is given twice"),
            (["trace", "--port", 1, "--json", "--clear"], self.folder, 64, "usage", "--clear prints nothing"),
            (["trace", "--port", 1, "--json"], "relative/desk", 64, "usage", "is not a full path"),
            (["trace", "--port", 1, "--json"], desk_file, 1, "desk", "it is not a folder"),
            (["trace", "--port", 1, "--json"], self.folder, 1, "read", "reading the trace failed"),
        ]
        (self.folder / "desk.trace").mkdir()  # a trace that cannot be read
        for args, desk, code, step, words in cases[:3] if RUNNER else cases:
            with self.subTest(f"{' '.join(map(str, args))} on {desk}"):
                result = subprocess.run(RUNNER + [PHONE_TOOL, *map(str, args)],
                                        env=dict(self.env, STAGEMARK_SIM_DIR=str(desk)), capture_output=True,
                                        text=True, timeout=60)
                self.assertEqual(result.returncode, code, result.stderr)
                failure = json.loads(result.stdout)
                self.assertEqual(failure["step"], step)
                self.assertIn(words, failure["error"])
                self.assertIn(words, result.stderr)
        # A command that takes no --json prints none, whatever its arguments hold.
        refused = self.run_program(PHONE_TOOL, "insert", "--port", 999, "--json")
        self.assertEqual((refused.returncode, refused.stdout), (64, ""))

    @unittest.skipIf(RUNNER, "file names that are not UTF-8: Linux's bytes")
    def test_paths_that_are_not_utf8_still_give_valid_json(self):
        self.insert()
        dump = self.folder / "dump-\udcff\udcfe.bin"  # the bytes 0xff 0xfe in the name
        dump.write_bytes(self.phone_file().read_bytes()[:RECORD_SIZE])
        odd_desk = self.folder / "desk-\udce9"
        odd_desk.mkdir(mode=0o700)
        open_desk = self.folder / "open-\udcff"
        open_desk.mkdir()
        open_desk.chmod(0o777)
        odd = {"STAGEMARK_SIM_DIR": str(odd_desk)}
        self.assertEqual(subprocess.run([PHONE_TOOL, "insert", "--port", str(PORT)], env=dict(self.env, **odd),
                                        timeout=60).returncode, 0)
        # name, command, environment, exit code, whether the odd bytes are in the output
        cases = [
            ("a dump decoded", ["decode", dump, "--json"], {}, 0, True),
            ("a dump that is missing", ["decode", self.folder / "gone-\udcff.bin", "--json"], {}, 2, True),
            ("a dump given twice", ["decode", dump, dump, "--json"], {}, 64, False),
            ("a desk with a phone", ["status", "--port", PORT, "--json"], odd, 0, False),
            ("a desk others can write", ["status", "--port", PORT, "--json"],
             {"STAGEMARK_SIM_DIR": str(open_desk)}, 2, True),
        ]
        for name, args, env, code, shown in cases:
            with self.subTest(name):
                result = subprocess.run([TOOL, *map(str, args)], env=dict(self.env, **env), capture_output=True,
                                        timeout=60)
                self.assertEqual(result.returncode, code, result.stderr)
                parsed = json.loads(result.stdout.decode("utf-8"))  # strict: not one stray byte
                self.assertIsInstance(parsed, dict)
                if shown:
                    self.assertIn("\ufffd", json.dumps(parsed, ensure_ascii=False), "odd bytes are shown as U+FFFD")

    @unittest.skipIf(RUNNER, "file names that are not UTF-8: Linux's bytes")
    def test_the_desk_trace_in_json_is_valid_for_a_desk_path_that_is_not_utf8(self):
        desk = self.folder / "desk-\udcff"
        env = dict(self.env, STAGEMARK_SIM_DIR=str(desk))
        self.assertEqual(subprocess.run([PHONE_TOOL, "insert", "--port", str(PORT)], env=env, timeout=60).returncode, 0)
        (desk / f"port{PORT}.link").unlink(missing_ok=True)
        (desk / f"port{PORT}.link").mkdir()  # a hold file the station cannot take: its reason names the path
        station = subprocess.run([TOOL, "pass", "FT", "--port", str(PORT), "--json"], env=env, capture_output=True,
                                 timeout=60)
        self.assertEqual(station.returncode, 2, station.stderr)
        self.assertEqual(json.loads(station.stdout.decode("utf-8"))["step"], "open")
        trace = subprocess.run([PHONE_TOOL, "trace", "--port", str(PORT), "--json"], env=env, capture_output=True,
                               timeout=60)
        self.assertEqual(trace.returncode, 0, trace.stderr)
        checks = [e["detail"] for e in json.loads(trace.stdout.decode("utf-8"))["entries"] if e["op"] == "check"]
        self.assertTrue(any("desk-\ufffd" in check for check in checks), checks)


class ToolVersion(Desk):
    """--version names the tool's version and, for stagemark, the library it loaded and that library's version."""

    def test_both_tools_name_their_version(self):
        tool = self.tool("--version")
        self.assertEqual(tool.returncode, 0, tool.stderr)
        lines = tool.stdout.splitlines()
        self.assertEqual(lines[0], f"stagemark {VERSION}")
        if RUNNER:
            # Read from the DLL's version resource, which the build makes from the same project version.
            self.assertRegex(lines[1], r"^library [A-Za-z]:\\.*\\stagemark\.dll, version " + re.escape(VERSION) + "$")
        else:
            real = os.path.realpath(pathlib.Path(TOOL).parent / "libstagemark.so")
            self.assertTrue(lines[1].startswith(f"library {real}, version "), lines[1])
        phone = self.run_program(PHONE_TOOL, "--version")
        self.assertEqual((phone.returncode, phone.stdout), (0, f"stagemark-phone {VERSION}\n"), phone.stderr)

    @unittest.skipIf(RUNNER, "the shared library's real file name: Linux")
    def test_the_library_version_comes_from_its_real_file_name(self):
        bin_dir = pathlib.Path(TOOL).parent
        cases = [("versioned", "libstagemark.so.2.3.4", "version 2.3.4"),
                 ("plain", "libstagemark.so", "version not known: its file name libstagemark.so carries none")]
        for name, real_name, words in cases:
            with self.subTest(name):
                folder = self.folder / name
                folder.mkdir()
                shutil.copy(TOOL, folder)
                for library in ("libsl.so", "libdv.so"):
                    shutil.copy(os.path.realpath(bin_dir / library), folder / library)
                shutil.copy(os.path.realpath(bin_dir / "libstagemark.so"), folder / real_name)
                if real_name != "libstagemark.so":
                    (folder / "libstagemark.so").symlink_to(real_name)
                tool = folder / pathlib.Path(TOOL).name
                shown = self.run_program(tool, "--version")
                self.assertEqual(shown.returncode, 0, shown.stderr)
                self.assertEqual(shown.stdout.splitlines()[1], f"library {folder / real_name}, {words}")
                as_json = json.loads(self.run_program(tool, "--version", "--json").stdout)
                self.assertEqual(as_json["version"], VERSION)
                self.assertEqual(as_json["library"]["path"], str(folder / real_name))
                self.assertEqual(as_json["library"]["version"], "2.3.4" if name == "versioned" else None)
        os.remove(self.folder / "plain" / "libstagemark.so")
        missing = self.run_program(self.folder / "plain" / pathlib.Path(TOOL).name, "--version", "--json")
        self.assertEqual(missing.returncode, 2)
        self.assertEqual(json.loads(missing.stdout)["step"], "load")
        self.assertIn("libstagemark.so", missing.stderr)


class HelpAndLostOutput(Desk):
    def phone(self, *args):
        return self.run_program(PHONE_TOOL, *args)

    def test_help_lists_each_command_once(self):
        listed = [line.split()[0] for line in self.tool("--help").stdout.split("commands:\n")[1].split("\n\n")[0]
                  .splitlines()]
        self.assertEqual(listed, ["status", "pass", "fail", "check", "decode"])
        whole = self.phone("--help").stdout
        for command in ("insert",) if RUNNER else ("insert", "remove", "where", "set", "fault", "trace", "pace"):
            with self.subTest(command):
                own = self.phone(command, "--help")
                self.assertEqual(own.returncode, 0, own.stderr)
                self.assertTrue(own.stdout.startswith(f"usage: stagemark-phone {command} --port N"), own.stdout)
                others = {"insert", "remove", "where", "set", "fault", "trace", "pace"} - {command}
                self.assertFalse([o for o in others if f"stagemark-phone {o} " in own.stdout], own.stdout)
                self.assertIn(f"  {command} --port N", whole)
        if not RUNNER:
            self.assertEqual(self.phone("erase", "--help").returncode, 64)

    @unittest.skipIf(RUNNER, "/dev/full: Linux")
    def test_lost_output_exits_74_with_words_that_fit_the_command(self):
        self.insert()
        dump = self.folder / "dump.bin"
        dump.write_bytes(self.phone_file().read_bytes()[:RECORD_SIZE])
        # program, command, words that must be said, words that must not
        cases = [
            (TOOL, ["--help"], "nothing was done", "stagemark status"),
            (TOOL, ["status", "--help"], "nothing was done", "stagemark status"),
            (TOOL, ["--version"], "nothing was done", "stagemark status"),
            (TOOL, ["decode", dump], "decode changes nothing", "stagemark status"),
            (TOOL, ["check", "BSN", "--port", PORT], "nothing was written to the phone", "stagemark status"),
            (TOOL, ["pass", "FT", "--port", PORT], "check it with 'stagemark status --port 4'", "nothing was"),
            (PHONE_TOOL, ["--help"], "nothing was done", "--port"),
            (PHONE_TOOL, ["set", "--help"], "nothing was done", "--port"),
            (PHONE_TOOL, ["--version"], "nothing was done", "--port"),
            (PHONE_TOOL, ["insert", "--port", 5], "a new phone was put on COM5", "nothing was"),
            (PHONE_TOOL, ["set", "--port", PORT, "BT=failed"], f"the stages were set on COM{PORT}", "nothing was"),
            (PHONE_TOOL, ["where", "--port", PORT], "nothing was changed", "was put"),
        ]
        for program, args, said, unsaid in cases:
            with self.subTest(f"{pathlib.Path(program).name} {' '.join(map(str, args))}"), \
                    open("/dev/full", "w") as full:
                result = subprocess.run([program, *map(str, args)], env=self.env, stdout=full, stderr=subprocess.PIPE,
                                        text=True, timeout=60)
                self.assertEqual(result.returncode, 74, result.stderr)
                self.assertIn("writing the output failed", result.stderr)
                self.assertIn(said, result.stderr)
                self.assertNotIn(unsaid, result.stderr)
        self.assertTrue(self.phone_file(5).is_file(), "the phone was put there, as the message says")
        self.assertEqual(self.tool("check", "BT", "--port", PORT).returncode, 1, "BT was set failed")


class DeskWords(Desk):
    def phone(self, *args):
        return self.run_program(PHONE_TOOL, *args)

    def test_where_says_when_no_phone_is_there(self):
        self.insert()
        there = self.phone("where", "--port", PORT)
        self.assertEqual(there.returncode, 0, there.stderr)
        self.assertTrue(there.stdout.strip().endswith(f"port{PORT}.phone"), there.stdout)
        empty = self.phone("where", "--port", 9)
        self.assertEqual(empty.returncode, 1)
        self.assertEqual(empty.stdout, "")
        self.assertIn("no phone on COM9", empty.stderr)
        self.assertIn("port9.phone", empty.stderr)

    @unittest.skipIf(RUNNER, "FIFOs and links of the native build: through Wine they are the files they lead to")
    def test_what_is_not_a_file_at_a_port_is_named_and_to_be_removed(self):
        plants = [("a FIFO (a named pipe)", os.mkfifo),
                  ("a symbolic link", lambda path: path.symlink_to(self.folder / "elsewhere")), ("a folder", os.mkdir)]
        (self.folder / "elsewhere").write_bytes(b"\0" * (RECORD_SIZE + 4))
        for port, (what, plant) in enumerate(plants, start=50):
            with self.subTest(f"{what} at the phone file"):
                plant(self.phone_file(port))
                where = self.phone("where", "--port", port)  # never waits on a FIFO: the run's timeout would
                self.assertEqual((where.returncode, where.stdout), (1, ""), where.stderr)
                self.assertIn(f"port{port}.phone, is {what}, not a regular phone file", where.stderr)
                self.assertIn("remove it", where.stderr)
        for what, plant in plants[:2]:
            hold = self.folder / f"port{PORT}.link"
            for program, args in ((PHONE_TOOL, ["insert", "--port", PORT]), (TOOL, ["status", "--port", PORT])):
                with self.subTest(f"{pathlib.Path(program).name} {args[0]} with {what} at the hold file"):
                    hold.unlink(missing_ok=True)
                    plant(hold)
                    result = self.run_program(program, *args)
                    self.assertNotEqual(result.returncode, 0, result.stdout)
                    self.assertIn(f"port{PORT}.link", result.stderr)
                    self.assertTrue(result.stderr.rstrip().endswith("; remove it"), result.stderr)

    def test_option_words_in_any_ascii_case(self):
        self.insert()
        # args, exit code, words on stdout or stderr
        cases = [
            (["fault", "--port", PORT, "WRITE"], 0, f"COM{PORT}: the next write fails, once"),
            (["fault", "--port", PORT, "Read", "--from-now"], 0, "the next read fails, and every one"),
            (["fault", "--port", PORT, "--clear"], 0, "no fault planned"),
            (["pace", "--port", PORT, "On"], 0, f"COM{PORT} paced"),
            (["pace", "--port", PORT, "OFF"], 0, f"COM{PORT} at desk speed"),
            (["set", "--port", PORT, "bt=Failed", "Ft=PASSED"], 0, "BT failed, FT passed"),
            (["set", "--port", PORT, "BT=Unrecorded"], 0, "BT not recorded"),
            # Only ASCII letters fold: a dotless ı is not an i.
            (["fault", "--port", PORT, "wr\u0131te"], 64, "unknown operation"),
            (["pace", "--port", PORT, "\u00f6n"], 64, "pace takes on or off"),
            (["set", "--port", PORT, "BT=pass\u0131ng"], 64, "is not STAGE=STATE"),
        ]
        for args, code, words in cases[:2] if RUNNER else cases:
            with self.subTest(" ".join(map(str, args))):
                result = self.phone(*args)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertIn(words, result.stdout + result.stderr)

    def test_a_relative_desk_folder_is_refused(self):
        work = self.folder / "work"
        work.mkdir()
        env = dict(self.env, STAGEMARK_SIM_DIR="relative/desk")
        commands = [(PHONE_TOOL, ["insert", "--port", PORT], 64), (TOOL, ["pass", "FT", "--port", PORT], 2)]
        if not RUNNER:
            commands += [(PHONE_TOOL, [c, "--port", PORT], 64) for c in ("remove", "where", "trace")]
            commands += [(PHONE_TOOL, ["pace", "--port", PORT, "on"], 64), (TOOL, ["status", "--port", PORT], 2)]
        for program, args, code in commands:
            with self.subTest(f"{pathlib.Path(program).name} {args[0]}"):
                result = subprocess.run(RUNNER + [program, *map(str, args)], env=env, cwd=work, capture_output=True,
                                        text=True, timeout=60)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertIn("STAGEMARK_SIM_DIR 'relative/desk' is not a full path", result.stderr)
                if program == TOOL:
                    self.assertIn(f"opening the link on COM{PORT} failed", result.stderr)
        self.assertEqual(list(work.iterdir()), [], "no desk was made under the current folder")


class RecordsNotAsStagemarkWrites(Desk):
    """A phone fresh from its programming step: fixed fields that stagemark does not write. Said, and recordable."""

    def test_status_and_check_say_which_fixed_fields_differ_and_recording_goes_on(self):
        self.insert()
        self.phone_file().write_bytes(zeroed_record())
        zeroed = [{"field": "header", "offset": 780, "length": 8}, {"field": "0xFF block", "offset": 794, "length": 16},
                  {"field": "pair block", "offset": 826, "length": 12}]
        status = json.loads(self.tool("status", "--port", PORT, "--json").stdout)
        self.assertEqual((status["bsn"], status["conforms"], status["differing"]), ("0000000000", False, zeroed))
        if not RUNNER:
            text = self.tool("status", "--port", PORT)
            self.assertEqual(text.returncode, 0)
            self.assertIn("differs from what stagemark writes: header at 780, 0xFF block at 794, pair block at 826",
                          text.stdout)
            check = self.tool("check", "BSN", "--port", PORT)
            self.assertEqual(check.returncode, 1)
            self.assertIn("route check refused: phone 0000000000: BSN not recorded", check.stdout)
            self.assertIn("differs from what stagemark writes: header at 780", check.stdout)
        passed = self.tool("pass", "BSN", "--port", PORT)
        self.assertEqual(passed.returncode, 0, passed.stderr)
        after = json.loads(self.tool("check", "BSN", "--port", PORT, "--json").stdout)
        self.assertEqual((after["passed"], after["conforms"], after["differing"]), (True, True, []),
                         "the write laid down stagemark's fixed fields")
        if not RUNNER:
            self.assertIn("header and fixed fields: as stagemark writes them", self.tool("status", "--port", PORT).stdout)

    @unittest.skipIf(RUNNER, "the same path as above, with another field")
    def test_a_zeroed_header_alone_is_named(self):
        self.insert()
        zero_header(self.phone_file())
        check = json.loads(self.tool("check", "BSN", "--port", PORT, "--json").stdout)
        self.assertEqual((check["conforms"], check["differing"]), (False, [{"field": "header", "offset": 780,
                                                                            "length": 8}]))
        self.assertEqual(self.tool("fail", "FT", "--port", PORT).returncode, 0)


class NeverWrittenRecords(Desk):
    def test_every_station_is_refused_with_what_is_true(self):
        self.insert()
        erase_bsn(self.phone_file())
        before = self.phone_file().read_bytes()
        for args in ([["pass", "BSN"]] if RUNNER else [["pass", "BSN"], ["fail", "BSN"], ["pass", "FT"]]):
            with self.subTest(" ".join(args)):
                refused = self.tool(*args, "--port", PORT)
                self.assertEqual(refused.returncode, 2)
                self.assertIn("the phone's record has never been written", refused.stderr)
                self.assertIn("its BSN must be written to the phone before any station records a stage", refused.stderr)
                self.assertNotIn("BSN station", refused.stderr)
        self.assertEqual(self.phone_file().read_bytes(), before)
        if RUNNER:
            return  # the words are the tool's own, the same on both targets
        record = bytearray(before[:RECORD_SIZE])
        record[789:794] = b"\x12\x34\x5a\xbc\xde"
        self.phone_file().write_bytes(with_check(record))
        damaged = self.tool("pass", "BSN", "--port", PORT)
        self.assertEqual(damaged.returncode, 2)
        self.assertIn("its BSN '12345abcde' is not ten decimal digits", damaged.stderr)
        self.assertNotIn("never been written", damaged.stderr)


@unittest.skipUnless(LIBRARY and DOTNET_STATION, "the C# example runs on Mono against the native library")
class DotnetStationExample(Desk):
    def station(self, *args):
        return subprocess.run([*DOTNET_STATION, LIBRARY, *map(str, args)], env=self.env, capture_output=True,
                              text=True, timeout=120)

    def test_records_reads_back_and_route_checks(self):
        self.insert()
        refused = self.station(PORT, "FT", "BSN")
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn("phone 3579024680 refused", refused.stdout)
        for args in ((PORT, "bsn"), (PORT, "FT", "BSN")):
            run = self.station(*args)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("recorded as passed, working copy of 819 bytes", run.stdout)
        self.assertEqual(self.tool("check", "BSN", "FT", "--port", PORT).returncode, 0)

    def test_failures_name_the_step(self):
        cases = [([PORT, "FT"], 2, "detect:"), ([256, "FT"], 64, "not a port"), ([PORT, "XT"], 64, "unknown stage"),
                 ([0, "FT"], 2, "open:")]
        # Port texts the station tool refuses, each of which a loose parse would read as COM12.
        cases += [([text, "FT"], 64, f"not a port from 0 to 255: '{text}'")
                  for text in (" 12", "+12", "012", "12 ", "\uff11\uff12", "\u0661\u0662")]
        for args, code, words in cases:
            with self.subTest(words):
                run = self.station(*args)
                self.assertEqual(run.returncode, code, run.stdout + run.stderr)
                self.assertIn(words, run.stderr)
        self.insert()
        erase_bsn(self.phone_file())
        never_written = self.station(PORT, "FT")
        self.assertEqual(never_written.returncode, 2)
        self.assertIn("check: the phone's record on COM4 has the BSN 'ffffffffff'", never_written.stderr)


@unittest.skipUnless(LIBRARY and EXAMPLE, "the Python example drives the native library")
class PythonStationExample(Desk):
    def test_station_sequence(self):
        self.insert()
        example = [sys.executable, EXAMPLE, LIBRARY, "--port", str(PORT)]
        refused = subprocess.run([*example, "--stage", "FT", "--requires", "BSN"], env=self.env,
                                 capture_output=True, text=True)
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn("refused: BSN not recorded", refused.stdout)
        for stage in ("BSN", "FT"):
            run = subprocess.run([*example, "--stage", stage], env=self.env, capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("working copy of 819 bytes", run.stdout)
        self.assertEqual(self.tool("check", "BSN", "FT", "--port", PORT).returncode, 0)

    def test_stage_names_in_any_case(self):
        self.insert()
        example = [sys.executable, EXAMPLE, LIBRARY, "--port", str(PORT)]
        for stage in ("bsn", "Ft"):
            run = subprocess.run([*example, "--stage", stage], env=self.env, capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
        run = subprocess.run([*example, "--stage", "imei", "--requires", "bsn,ft"], env=self.env,
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_usage_errors_mark_no_phone(self):
        self.insert()
        self.insert(port=1)
        self.insert(port=12)  # where a port text read loosely would land
        before = {p.name: p.read_bytes() for p in self.folder.iterdir()}
        cases = [
            (["--port", "257"], "port '257'"),
            (["--port", "-1"], "port '-1'"),
            *[(["--port", text], f"port '{text}'") for text in ("1_2", " 12", "+12", "012", "12 ", "\uff11\uff12",
                                                                  "\u0661\u0662")],
            (["--port", str(PORT), "--port", "1"], "--port is given twice"),
            (["--port", str(PORT), "--stage", "XT"], "unknown stage 'XT'"),
            (["--port", str(PORT), "--requires", "FT,XYZ"], "unknown stage 'XYZ'"),
            (["--port", str(PORT), "--stage", "FT", "--stage", "BT"], "--stage is given twice"),
        ]
        for args, words in cases:
            with self.subTest(" ".join(args)):
                run = subprocess.run([sys.executable, EXAMPLE, LIBRARY, *args], env=self.env, capture_output=True,
                                     text=True)
                self.assertEqual(run.returncode, 64, run.stderr)
                self.assertIn(words, run.stderr)
                self.assertNotIn("Traceback", run.stderr)
        self.assertEqual({p.name: p.read_bytes() for p in self.folder.iterdir()}, before)


# Its classes split into shards that run side by side (STAGEMARK_SHARD=K/N).
load_tests = test_shards.load_tests_of(__name__)

if __name__ == "__main__":
    if RUNNER and subprocess.run([*RUNNER, "--check"]).returncode == 77:
        sys.exit(77)  # the runner said why: the Windows programs cannot run on this machine
    unittest.main(verbosity=2)
