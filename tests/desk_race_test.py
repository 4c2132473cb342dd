#!/usr/bin/env python3
"""Station programs and desk commands that meet on one desk at once, and desks that must not be trusted.

Environment: STAGEMARK_TOOL and STAGEMARK_PHONE_TOOL (the station tool and the desk command),
STAGEMARK_RUNNER (empty, or the Wine wrapper for the Windows build), STAGEMARK_FAULTY_STATION
(the station programs of tests/faulty_station.c), STAGEMARK_RACE_ROUNDS (rounds of each race;
100 natively and 8 under Wine when not given).
"""
import ctypes
import ctypes.util
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

import test_shards

TOOL = os.environ["STAGEMARK_TOOL"]
PHONE_TOOL = os.environ["STAGEMARK_PHONE_TOOL"]
RUNNER = [r for r in [os.environ.get("STAGEMARK_RUNNER", "")] if r]
FAULTY_STATION = os.environ.get("STAGEMARK_FAULTY_STATION", "")
ROUNDS = int(os.environ.get("STAGEMARK_RACE_ROUNDS") or (8 if RUNNER else 100))
RECORD_SIZE = 1036
BSN_AT, PASS_FLAGS_AT, DONE_FLAGS_AT = 789, 810, 811
STAGE_MASKS = {"BSN": 0x80, "BT": 0x40, "CT": 0x20, "LAMA": 0x10, "FT": 0x08, "IMEI": 0x04, "RES1": 0x02,
               "RES2": 0x01}
PORT = 4
TIMEOUT = 60  # one program's limit: past it, the program hangs


class Phone:
    """A phone file as the desk keeps it: the record, then its CRC-32, little-endian."""

    def __init__(self, data):
        self.sound = len(data) == RECORD_SIZE + 4 and \
            int.from_bytes(data[RECORD_SIZE:], "little") == zlib.crc32(data[:RECORD_SIZE])
        self.bsn = data[BSN_AT:BSN_AT + 5].hex() if self.sound else None
        done, passed = (data[DONE_FLAGS_AT], data[PASS_FLAGS_AT]) if self.sound else (0, 0)
        self.stages = {stage: ("not recorded" if not done & mask else "passed" if passed & mask else "failed")
                       for stage, mask in STAGE_MASKS.items()}

    def __repr__(self):
        if not self.sound:
            return "a damaged phone file"
        recorded = ", ".join(f"{s} {v}" for s, v in self.stages.items() if v != "not recorded")
        return f"phone {self.bsn} ({recorded or 'nothing recorded'})"


def read_phone(path):
    """The phone in the file, or None where no file is."""
    try:
        return Phone(path.read_bytes())
    except FileNotFoundError:
        return None


def snapshot(folder):
    """Every file in the folder, by name, with its bytes: to see that nothing was touched."""
    return {p.name: (p.read_bytes() if p.is_file() and not p.is_symlink() else None) for p in folder.iterdir()}


def exchange_function():
    """libc's renameat2, which swaps two names in one step; None where the system has none."""
    try:
        libc = ctypes.CDLL(ctypes.util.find_library("c") or None, use_errno=True)
        function = libc.renameat2
    except (OSError, AttributeError):
        return None
    function.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_uint]
    return function


AT_FDCWD, RENAME_EXCHANGE = -100, 2
RENAMEAT2 = exchange_function()
# Swaps the two folders named on its command line until it is stopped, then says how often it did.
SWAPPER = """
import ctypes, ctypes.util, os, signal, sys
libc = ctypes.CDLL(ctypes.util.find_library("c") or None, use_errno=True)
first, second = (os.fsencode(name) for name in sys.argv[1:3])
swaps = 0
def stop(*_):
    print(swaps, flush=True)
    os._exit(0)
signal.signal(signal.SIGTERM, stop)
print("swapping", flush=True)
while True:
    if libc.renameat2(-100, first, -100, second, 2) == 0:
        swaps += 1
"""


class Desk(unittest.TestCase):
    """A folder of its own for each test, holding as many desks as the test needs."""

    def setUp(self):
        self._root = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self._root.name)
        self.folder, self.env = self.new_desk("desk")

    def tearDown(self):
        for path in [self.root, *self.root.rglob("*")]:
            if path.is_dir() and not path.is_symlink():
                path.chmod(0o700)  # a test's read-only folder must not keep the cleanup from its files
        self._root.cleanup()

    def new_desk(self, name):
        """A private folder of its own, and the environment that makes it the desk."""
        folder = pathlib.Path(tempfile.mkdtemp(prefix=f"{name}-", dir=self.root))
        return folder, dict(os.environ, STAGEMARK_SIM_DIR=str(folder))

    def run_program(self, program, *args, env=None):
        return subprocess.run(RUNNER + [program, *map(str, args)], env=env or self.env, capture_output=True,
                              text=True, timeout=TIMEOUT)

    def start(self, program, *args, env=None):
        return subprocess.Popen(RUNNER + [program, *map(str, args)], env=env or self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    @staticmethod
    def finish(process):
        """(exit code, stdout, stderr) of a program started in the background."""
        try:
            out, err = process.communicate(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            out, err = process.communicate()
            return None, out, err + " (killed: it hung)"
        return process.returncode, out, err

    def tool(self, *args, env=None):
        return self.run_program(TOOL, *args, env=env)

    def phone(self, *args, env=None):
        return self.run_program(PHONE_TOOL, *args, env=env)

    def insert(self, port=PORT, bsn="3579024680", env=None):
        result = self.phone("insert", "--port", port, "--bsn", bsn, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)

    def set_stages(self, *states, port=PORT, env=None):
        result = self.phone("set", "--port", port, *states, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)

    def pace(self, env=None):
        result = self.phone("pace", "--port", PORT, "on", env=env)
        self.assertEqual(result.returncode, 0, result.stderr)

    def phone_file(self, port=PORT, folder=None):
        return (folder or self.folder) / f"port{port}.phone"


class ResultsAgainstDeskCommands(Desk):
    """What a station or a desk command reports as done is in the phone's record afterwards."""

    def race(self, stations, sets, rounds):
        """Stations passing `stations` and desk commands failing `sets`, all started at once on a
        fresh phone each round; the lost results, and the refusals that do not say why."""
        lost, unexplained, reported = [], [], 0
        for round_ in range(rounds):
            folder, env = self.new_desk(f"round{round_}")
            self.insert(env=env)
            if round_ % 2:
                self.pace(env=env)  # the link's own time: a station's cycle is long enough to meet a desk command
            racers = [("station", stage, self.start(TOOL, "pass", stage, "--port", PORT, env=env))
                      for stage in stations]
            racers += [("set", stage, self.start(PHONE_TOOL, "set", "--port", PORT, f"{stage}=failed", env=env))
                       for stage in sets]
            outcomes = [(kind, stage, *self.finish(process)) for kind, stage, process in racers]
            phone = read_phone(self.phone_file(folder=folder))
            for kind, stage, code, _, stderr in outcomes:
                expected = "passed" if kind == "station" else "failed"
                if code == 0:
                    reported += 1
                    if phone is None or not phone.sound or phone.stages[stage] != expected:
                        lost.append(f"round {round_}: {kind} said {stage} {expected}, the record holds {phone}")
                elif code != (2 if kind == "station" else 1) or "in use" not in stderr:
                    unexplained.append(f"round {round_}: {kind} {stage} exited {code}: {stderr.strip()}")
        return lost, unexplained, reported

    def check_race(self, stations, sets, rounds):
        lost, unexplained, reported = self.race(stations, sets, rounds)
        self.assertEqual(len(lost), 0, f"{len(lost)} of {reported} results reported as done were lost over {rounds} "
                                       f"rounds; first ones: {lost[:5]}")
        self.assertEqual(len(unexplained), 0, f"{len(unexplained)} refusals over {rounds} rounds did not say the "
                                              f"port is in use: {unexplained[:5]}")

    def test_a_station_and_a_desk_command_at_once(self):
        self.check_race(["FT"], ["BT"], ROUNDS)

    def test_four_stations_and_four_desk_commands_at_once(self):
        self.check_race(["FT", "CT", "LAMA", "IMEI"], ["BT", "RES1", "RES2", "BSN"], max(ROUNDS // 10, 2))


class RemovedPhones(Desk):
    """A phone taken off the port stays off, and the next phone on it is never written with the old record."""

    OLD, NEW = "1111111111", "2222222222"

    def wait_for(self, station, folder, op):
        """Until the station's trace on the port shows the call `op`, or the station has ended."""
        trace, deadline = folder / "desk.trace", time.monotonic() + TIMEOUT  # a hang guard, never a measure
        while station.poll() is None and time.monotonic() < deadline:
            try:
                lines = trace.read_text(errors="replace").splitlines()
            except OSError:
                lines = []
            if any(f.split("\t")[2:4] == [str(PORT), op] for f in lines if f.count("\t") >= 6):
                return
            time.sleep(0.001)

    def test_a_station_meets_a_phone_being_replaced(self):
        faults, counts = [], {"station done": 0, "removed": 0, "replaced": 0}
        # The desk commands start at once, once the station's link is open, or once it has read the record.
        moments = [None, "open", "read"]
        for round_ in range(ROUNDS):
            folder, env = self.new_desk(f"round{round_}")
            self.insert(bsn=self.OLD, env=env)
            self.pace(env=env)  # the link's own time: the station reads, then writes 90 ms later
            station = self.start(TOOL, "pass", "FT", "--port", PORT, env=env)
            if moments[round_ % len(moments)]:
                self.wait_for(station, folder, moments[round_ % len(moments)])
            removed = self.phone("remove", "--port", PORT, env=env)
            inserted = self.phone("insert", "--port", PORT, "--bsn", self.NEW, env=env)
            code, station_out, station_err = self.finish(station)
            phone = read_phone(self.phone_file(folder=folder))
            # The phone the station says it recorded on: the old one, or the new one if it came to the port late.
            recorded_on = re.search(r"on phone (\d{10})", station_out) if code == 0 else None
            recorded_on = recorded_on and recorded_on.group(1)
            counts["station done"] += code == 0
            counts["removed"] += removed.returncode == 0
            counts["replaced"] += removed.returncode == 0 and inserted.returncode == 0
            problems = []
            if code is None:
                problems.append("the station hung")
            if code == 0 and recorded_on not in (self.OLD, self.NEW):
                problems.append("the station did not say which phone it recorded on")
            if removed.returncode == 0:
                if phone is not None and phone.bsn == self.OLD:
                    problems.append("the removed phone came back")
                expected = "passed" if recorded_on == self.NEW else "not recorded"
                if inserted.returncode == 0 and (phone is None or phone.bsn != self.NEW or
                                                 phone.stages["FT"] != expected):
                    problems.append("the new phone does not hold what the station said")
                if inserted.returncode != 0 and "in use" not in inserted.stderr:
                    problems.append("the port was not free for a new phone after the removal")
            else:
                if "in use" not in removed.stderr:
                    problems.append("the removal was refused, not for the port being in use")
                expected = "passed" if recorded_on == self.OLD else "not recorded"
                if phone is None or phone.bsn != self.OLD or phone.stages["FT"] != expected:
                    problems.append("the phone left on the port does not hold what the station said")
            if problems:
                faults.append(f"round {round_}: {', '.join(problems)}: station {code} "
                              f"({(station_out + station_err).strip()}), "
                              f"remove {removed.returncode} ({removed.stderr.strip()}), insert {inserted.returncode} "
                              f"({inserted.stderr.strip()}); the port holds {phone}")
        self.assertEqual(len(faults), 0, f"{len(faults)} of {ROUNDS} rounds went wrong ({counts}); first ones: "
                                         f"{faults[:3]}")


@unittest.skipUnless(RENAMEAT2, "the system has no renameat2 to swap two folders by name")
class SwappedDeskFolder(Desk):
    """A desk folder swapped by name for one the desk refuses is never read from."""

    def exchange(self, first, second):
        if RENAMEAT2(AT_FDCWD, bytes(first), AT_FDCWD, bytes(second), RENAME_EXCHANGE) != 0:
            return ctypes.get_errno()
        return 0

    def forged_folder(self):
        """A folder beside the desk, holding a phone that passed BSN and BT."""
        second, second_env = self.new_desk("second")
        self.insert(env=second_env)
        self.set_stages("BSN=passed", "BT=passed", env=second_env)
        forged = self.root / "forged"
        forged.mkdir()
        for port in self.ports:
            self.phone_file(port, forged).write_bytes(self.phone_file(folder=second).read_bytes())
        return forged

    def others_can_write(self):
        forged = self.forged_folder()
        forged.chmod(0o777)
        if os.geteuid() == 0:
            os.chown(forged, 65534, 65534)
        return forged

    def link_elsewhere(self):
        link = self.root / "forged-link"
        link.symlink_to(self.forged_folder(), target_is_directory=True)
        return link

    def check_never_read(self, forge):
        # A phone on each of several ports, checked at once: more chances a round to meet a swap.
        # Fewer under Wine, where each of those processes is a Windows program of its own.
        self.ports = range(1, 5 if RUNNER else 33)
        self.insert()
        self.set_stages("BSN=passed", "BT=failed")
        for port in self.ports:
            if port != PORT:
                self.phone_file(port).write_bytes(self.phone_file().read_bytes())
        forged = forge()
        genuine = os.lstat(self.folder).st_ino
        if (failed := self.exchange(self.folder, forged)) != 0:
            self.skipTest(f"this system cannot swap two folders by name: {os.strerror(failed)}")
        self.exchange(self.folder, forged)  # back in place

        # The fixture: the desk refuses the phone, and refuses the forged folder when named.
        refused = self.tool("check", "BSN", "BT", "--port", PORT)
        self.assertEqual(refused.returncode, 1, refused.stdout + refused.stderr)
        named = self.tool("check", "BSN", "BT", "--port", PORT, env=dict(self.env, STAGEMARK_SIM_DIR=str(forged)))
        self.assertEqual(named.returncode, 2,
                         f"the forged folder, named, was not refused: {named.stdout}{named.stderr}")

        # A process of its own swaps the two names as fast as the system can, free of this one's lock on Python.
        swapper = subprocess.Popen([sys.executable, "-c", SWAPPER, bytes(self.folder), bytes(forged)],
                                   stdout=subprocess.PIPE, text=True)
        outcomes = {}
        try:
            self.assertEqual(swapper.stdout.readline().strip(), "swapping")
            for _ in range(ROUNDS):
                checks = [self.start(TOOL, "check", "BSN", "BT", "--port", port) for port in self.ports]
                for code, out, err in map(self.finish, checks):
                    outcomes.setdefault(code, []).append(out.strip() + err.strip())
        finally:
            swapper.terminate()
            swaps = swapper.communicate(timeout=TIMEOUT)[0].strip()
            if os.lstat(self.folder).st_ino != genuine:
                self.exchange(self.folder, forged)  # the forged folder is left at the desk's name: put it back
        counts = {code: len(said) for code, said in outcomes.items()}
        self.assertEqual(counts.get(0, 0), 0, f"the route check passed on the forged record {counts.get(0)} times in "
                                              f"{ROUNDS} rounds of {len(self.ports)} ({swaps} swaps; exits {counts}): "
                                              f"{outcomes.get(0, [])[:3]}")
        unexpected = {code: said[:3] for code, said in outcomes.items() if code not in (0, 1, 2)}
        self.assertEqual(unexpected, {}, f"exits {counts}")

    @unittest.skipIf(RUNNER, "the Windows desk cannot see a Linux folder's mode or owner through Wine")
    def test_a_folder_others_can_write(self):
        self.check_never_read(self.others_can_write)

    @unittest.skipUnless(hasattr(os, "symlink"), "needs symbolic links")
    def test_a_link_to_another_folder(self):
        self.check_never_read(self.link_elsewhere)


@unittest.skipIf(RUNNER, "FIFOs and links of the native build: through Wine they are the files they lead to")
@unittest.skipUnless(hasattr(os, "mkfifo") and hasattr(os, "symlink"), "needs FIFOs and symbolic links")
class PlantedFiles(Desk):
    """Whatever is planted at a desk file's name, a station or a desk command ends, and says why it failed."""

    def fifo(self, path):
        os.mkfifo(path)

    def holder_link(self, path):
        holder = self.root / "holder"
        holder.write_text("12345\n")
        path.symlink_to(holder)

    def outside_link(self, path):
        path.symlink_to(self.outside)

    FIFOS = ["desk.trace", f"port{PORT}.faults", f"port{PORT}.pace", f"port{PORT}.link", f"port{PORT}.phone"]

    def setUp(self):
        super().setUp()
        self.outside = self.root / "outside.txt"
        self.outside.write_text("a file of the user's, outside the desk\n")

    def plant(self, name, plant):
        self.folder, self.env = self.new_desk(f"{name}-{plant.__name__}")
        if name != f"port{PORT}.phone":
            self.insert()
        (self.folder / name).unlink(missing_ok=True)  # the desk may keep the file already: the plant takes its place
        plant(self, self.folder / name)

    def test_a_station_ends_and_names_what_it_met(self):
        cases = [(name, PlantedFiles.fifo) for name in self.FIFOS]
        cases += [(f"port{PORT}.link", PlantedFiles.holder_link), ("desk.trace", PlantedFiles.outside_link)]
        outside = self.outside.read_bytes()
        for name, plant in cases:
            with self.subTest(f"{plant.__name__} at {name}"):
                self.plant(name, plant)
                try:
                    result = self.tool("status", "--port", PORT)
                except subprocess.TimeoutExpired:
                    self.fail(f"the station hung on {plant.__name__} at {name}")
                said = result.stdout + result.stderr
                if result.returncode != 0:
                    self.assertTrue(name in result.stderr or f"COM{PORT}" in result.stderr,
                                    f"exit {result.returncode}, and stderr names neither the file nor the port: "
                                    f"{result.stderr!r}")
                self.assertNotIn("process 12345", said, "a process id read through a planted link")
                self.assertEqual(self.outside.read_bytes(), outside, f"a file outside the desk was written: {said}")

    def test_a_desk_command_ends(self):
        commands = [["fault", "--port", PORT], ["trace", "--port", PORT], ["set", "--port", PORT, "BT=failed"],
                    ["remove", "--port", PORT]]
        for name in self.FIFOS:
            for command in commands:
                with self.subTest(f"{command[0]} with a FIFO at {name}"):
                    self.plant(name, PlantedFiles.fifo)
                    try:
                        self.phone(*command)
                    except subprocess.TimeoutExpired:
                        self.fail(f"stagemark-phone {' '.join(map(str, command))} hung on a FIFO at {name}")


class RefusedDeskFolder(Desk):
    """A desk folder the desk cannot trust is refused by every command, and nothing in it is touched."""

    COMMANDS = [
        (TOOL, ["status", "--port", PORT]),
        (TOOL, ["pass", "FT", "--port", PORT]),
        (PHONE_TOOL, ["remove", "--port", PORT]),
        (PHONE_TOOL, ["set", "--port", PORT, "BT=failed"]),
        (PHONE_TOOL, ["insert", "--port", PORT + 1, "--bsn", "2222222222"]),
        (PHONE_TOOL, ["fault", "--port", PORT]),
        (PHONE_TOOL, ["fault", "--port", PORT, "write"]),
        (PHONE_TOOL, ["trace", "--port", PORT]),
        (PHONE_TOOL, ["pace", "--port", PORT, "on"]),
    ]

    def link_to_private_folder(self, folder):
        link = folder.with_name(folder.name + "-link")
        link.symlink_to(folder, target_is_directory=True)
        return link

    def link_named_with_a_trailing_separator(self, folder):
        # The system follows a link that ends a path in "/" or "/.", whatever it was asked not to follow.
        link = self.link_to_private_folder(folder)
        return [f"{link}{end}" for end in ("/", "/.")]

    def folder_others_can_write(self, folder):
        folder.chmod(0o777)
        return folder

    def check_refused(self, spoil):
        for number, (program, args) in enumerate(self.COMMANDS):
            with self.subTest(f"{pathlib.Path(program).name} {' '.join(map(str, args))}"):
                folder, env = self.new_desk(f"desk{number}")  # a phone of its own for each command
                self.insert(env=env)
                self.assertEqual(self.tool("pass", "BSN", "--port", PORT, env=env).returncode, 0)
                spoiled = spoil(folder)
                before = snapshot(folder)
                for desk in spoiled if isinstance(spoiled, list) else [spoiled]:
                    result = self.run_program(program, *args, env=dict(env, STAGEMARK_SIM_DIR=str(desk)))
                    self.assertNotEqual(result.returncode, 0, f"{desk}: {result.stdout}")
                    self.assertRegex(result.stderr, r"desk folder .* cannot be used", result.stderr)
                    self.assertEqual(snapshot(folder), before, f"the folder behind the refused desk {desk} was changed")

    @unittest.skipUnless(hasattr(os, "symlink"), "needs symbolic links")
    def test_a_link_to_a_private_folder(self):
        self.check_refused(self.link_to_private_folder)

    @unittest.skipUnless(hasattr(os, "symlink"), "needs symbolic links")
    def test_a_link_named_with_a_trailing_separator(self):
        self.check_refused(self.link_named_with_a_trailing_separator)

    @unittest.skipIf(RUNNER, "the Windows desk cannot see a Linux folder's mode through Wine")
    def test_a_folder_others_can_write(self):
        self.check_refused(self.folder_others_can_write)


class InUse(Desk):
    """A station says a port is in use only when a live process holds it, and then names that process."""

    def test_a_hold_that_cannot_be_taken_is_not_a_holder(self):
        self.insert()
        if os.geteuid() == 0:
            hold = self.folder / f"port{PORT}.link"
            hold.unlink(missing_ok=True)
            hold.mkdir()  # root writes anywhere: a hold file that cannot be opened
        else:
            self.folder.chmod(0o500)
        result = self.tool("status", "--port", PORT)
        self.assertNotEqual(result.returncode, 0, result.stdout)
        self.assertNotIn("in use", result.stderr, "no process holds the port")

    def test_a_port_nobody_holds(self):
        def phone():
            self.insert()

        def stale_hold_file():
            self.insert()
            (self.folder / f"port{PORT}.link").write_text("12345\n")  # left by a process long gone

        def holder_that_ended():
            self.insert()
            if FAULTY_STATION:
                self.assertEqual(self.run_program(FAULTY_STATION, "hold", PORT, 0).returncode, 0)

        cases = [("no phone", lambda: None, 2), ("a phone", phone, 0), ("a stale hold file", stale_hold_file, 0),
                 ("a holder that has ended", holder_that_ended, 0)]
        for name, prepare, code in cases:
            with self.subTest(name):
                self.folder, self.env = self.new_desk(name.replace(" ", "-"))
                prepare()
                result = self.tool("status", "--port", PORT)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertNotIn("in use", result.stdout + result.stderr)

    @unittest.skipUnless(FAULTY_STATION, "needs the faulty station programs: one keeps its link open")
    def test_a_refusal_names_the_live_holder(self):
        self.insert()
        # Held until its input ends, however long the tool takes to start.
        holder = subprocess.Popen(RUNNER + [FAULTY_STATION, "hold", str(PORT)], env=self.env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "holding")
            refused = self.tool("status", "--port", PORT)
            self.assertEqual(refused.returncode, 2, refused.stderr)
            self.assertIn("in use", refused.stderr)
            if not RUNNER:  # under Wine the holder's Windows process id is not the id of the program started here
                self.assertIn(f"process {holder.pid}", refused.stderr)
        finally:
            holder.stdin.close()
            self.assertEqual(holder.wait(timeout=TIMEOUT), 0)
            holder.stdout.close()


# Its classes split into shards that run side by side (STAGEMARK_SHARD=K/N).
load_tests = test_shards.load_tests_of(__name__)

if __name__ == "__main__":
    if RUNNER and subprocess.run([*RUNNER, "--check"]).returncode == 77:
        sys.exit(77)  # the runner said why: the Windows programs cannot run on this machine
    unittest.main(verbosity=2)
