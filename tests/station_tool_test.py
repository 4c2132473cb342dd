#!/usr/bin/env python3
"""The station tool run as a process, as a technician or a station script runs it.

Environment: STAGEMARK_TOOL and STAGEMARK_PHONE_TOOL (the two programs), STAGEMARK_RUNNER
(empty, or the Wine wrapper for the Windows build), STAGEMARK_LIBRARY and STAGEMARK_EXAMPLE
(the native library and the Python station example; empty for the Windows build).
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import threading
import unittest
import zlib

TOOL = os.environ["STAGEMARK_TOOL"]
PHONE_TOOL = os.environ["STAGEMARK_PHONE_TOOL"]
RUNNER = [r for r in [os.environ.get("STAGEMARK_RUNNER", "")] if r]
LIBRARY = os.environ.get("STAGEMARK_LIBRARY", "")
EXAMPLE = os.environ.get("STAGEMARK_EXAMPLE", "")
RECORD_SIZE = 1036
PORT = 4


class Desk(unittest.TestCase):
    """A desk of its own for each test: an empty folder of simulated phones."""

    def setUp(self):
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


class ExitCodes(Desk):
    # name, phone on the desk, what is done to its file, command, exit code, words on stdout or stderr
    CASES = [
        ("good phone", True, None, ["pass", "BSN"], ["check", "BSN", "--port", PORT], 0, "route check passed"),
        ("failed stage", True, None, ["fail", "FT"], ["check", "BSN", "FT", "--port", PORT], 1, "FT failed"),
        ("stage not recorded", True, None, ["pass", "BSN"], ["check", "BSN", "BT", "--port", PORT], 1,
         "BT not recorded"),
        ("no phone file", False, None, None, ["check", "BSN", "--port", PORT], 2, "record could not be read"),
        ("damaged phone file", True, damage, None, ["status", "--port", PORT], 2, "record could not be read"),
        ("wrongly sized phone file", True, truncate, None, ["check", "FT", "--port", PORT], 2,
         "record could not be read"),
        ("no phone detected", False, None, None, ["status", "--port", PORT, "--detect", 0], 2,
         "no phone was detected"),
        ("link cannot open", True, None, None, ["status", "--port", 0], 2, "link could not open on COM0"),
        ("bad stage name", True, None, None, ["check", "XT", "--port", PORT], 64, "unknown stage 'XT'"),
        ("port too high", True, None, None, ["status", "--port", 256], 64, "port '256'"),
        ("port negative", True, None, None, ["status", "--port", -1], 64, "port '-1'"),
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
        self.assertEqual(sorted(p.name for p in self.folder.iterdir()), [path.name], "no temporary file left")


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


if __name__ == "__main__":
    if RUNNER and subprocess.run([*RUNNER, "--check"]).returncode == 77:
        sys.exit(77)  # the runner said why: the Windows programs cannot run on this machine
    unittest.main(verbosity=2)
