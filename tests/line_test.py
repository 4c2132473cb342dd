#!/usr/bin/env python3
"""The line on the desk run as a process: `stagemark-phone move` and `stagemark-phone line`,
against line files with known mistakes, each count of the report exact (seeded).

Environment as for station_tool_test.py, and STAGEMARK_BAD_STATION (examples/bad).
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

import station_tool_test
import test_shards

from station_tool_test import FAULTY_STATION, PHONE_TOOL, RUNNER, TOOL

STATION = station_tool_test.C_STATIONS[0]
BAD_STATION = os.environ["STAGEMARK_BAD_STATION"]
OPS = ["tls", "open", "init", "detect", "read", "write", "close", "free"]
MASK = (1 << 64) - 1


class Draws:
    """The line's chance as a seed gives it on every target: splitmix64, rates in millionths."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def chance(self, rate):
        return rate > 0 and self.next() % 1000000 < rate

    def bsn(self):
        return "%010d" % (self.next() % 10 ** 10)


class Desk(station_tool_test.Desk):
    """The station tool tests' desk of its own, and a folder beside it for line files."""

    def setUp(self):
        super().setUp()
        self.desk = self.folder
        if hasattr(self, "_files"):
            self._files.cleanup()  # a table's case starts with a folder of its own
        self._files = tempfile.TemporaryDirectory()
        self.files = pathlib.Path(self._files.name)

    def tearDown(self):
        self._files.cleanup()
        super().tearDown()

    def phone(self, *args, timeout=120):
        return subprocess.run(RUNNER + [PHONE_TOOL, *map(str, args)], env=self.env, capture_output=True, text=True,
                              timeout=timeout)

    def line(self, stations, *options):
        """Runs a line of (name, port, stage, command words) and returns the exit code and the report."""
        text = "# name port stage command\n" + "".join(
            f"{name} {port} {stage} {' '.join(words)}\n" for name, port, stage, words in stations)
        path = self.files / "test.line"
        path.write_text(text)
        result = self.phone("line", path, "--json", *options, timeout=600)
        report = json.loads(result.stdout) if result.stdout else {}
        return result.returncode, report, result.stderr


class MoveCommand(Desk):
    def test_the_phone_arrives_with_its_whole_record_and_leaves_nothing_behind(self):
        self.assertEqual(self.phone("insert", "--port", 3, "--bsn", "1234567890").returncode, 0)
        self.assertEqual(self.phone("set", "--port", 3, "BSN=passed", "BT=failed").returncode, 0)
        before = self.phone_file(3).read_bytes()
        moved = self.phone("move", "--from", 3, "--to", 1)
        self.assertEqual(moved.returncode, 0, moved.stderr)
        self.assertEqual(self.phone_file(1).read_bytes(), before)
        self.assertFalse(self.phone_file(3).exists())
        self.assertNotIn(".tmp", " ".join(p.name for p in self.desk.iterdir()))

    def test_refusals_change_no_phone(self):
        # name, phones on the desk (port: BSN), the command's words, exit code, words said
        cases = [
            ("no phone on N", {}, ["--from", 1, "--to", 2], 1, "no phone there"),
            ("a phone on M", {1: "1111111111", 2: "2222222222"}, ["--from", 1, "--to", 2], 1,
             "a phone file is already there"),
            ("one port twice", {1: "1111111111"}, ["--from", 1, "--to", 1], 64, "name the same port"),
            ("--from repeated", {1: "1111111111"}, ["--from", 1, "--from", 3, "--to", 2], 64,
             "--from is given twice"),
            ("--to missing", {1: "1111111111"}, ["--from", 1], 64, "move needs --from N and --to M"),
            ("a port out of range", {1: "1111111111"}, ["--from", 1, "--to", 256], 64, "port '256'"),
            ("--port in place of --from", {1: "1111111111"}, ["--port", 1, "--to", 2], 64, "unknown argument"),
        ]
        for name, phones, words, code, said in cases:
            with self.subTest(name):
                self.setUp()
                for port, bsn in phones.items():
                    self.assertEqual(self.phone("insert", "--port", port, "--bsn", bsn).returncode, 0)
                files = {p.name: p.read_bytes() for p in self.desk.glob("*.phone")}
                result = self.phone("move", *words)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(said, result.stderr)
                self.assertEqual({p.name: p.read_bytes() for p in self.desk.glob("*.phone")}, files)

    @unittest.skipIf(RUNNER, "a FIFO and a symbolic link are made by the native system")
    def test_what_is_not_a_phone_file_is_never_carried(self):
        # name, what is made at port 8's phone file, words said
        cases = [("a FIFO", os.mkfifo, "a FIFO"), ("a folder", os.mkdir, "a folder"),
                 ("a symbolic link", lambda path: path.symlink_to(self.phone_file(5)), "a symbolic link")]
        for name, make, said in cases:
            with self.subTest(name):
                self.setUp()
                self.assertEqual(self.phone("insert", "--port", 5).returncode, 0)
                make(self.phone_file(8))
                result = self.phone("move", "--from", 8, "--to", 9, timeout=30)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(said, result.stderr)
                self.assertIn("remove it", result.stderr)
                self.assertFalse(os.path.lexists(self.phone_file(9)), "nothing arrives on COM9")
                self.assertTrue(os.path.lexists(self.phone_file(8)), "what stands there is left for the operator")

    def test_refused_while_a_station_link_holds_either_port(self):
        self.assertEqual(self.phone("insert", "--port", 1).returncode, 0)
        # Held past the desk command's 10 s wait, on the port taken second.
        holder = subprocess.Popen(RUNNER + [FAULTY_STATION, "hold", "2", "12000"], env=self.env,
                                  stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "holding")
            refused = self.phone("move", "--from", 1, "--to", 2)
            self.assertEqual(refused.returncode, 1)
            self.assertIn("COM2 is in use by process", refused.stderr)
        finally:
            self.assertEqual(holder.wait(timeout=60), 0)
            holder.stdout.close()
        self.assertTrue(self.phone_file(1).exists())
        self.assertFalse(self.phone_file(2).exists())
        self.assertEqual(self.phone("move", "--from", 1, "--to", 2).returncode, 0, "free once the holder ends")


def station(port_stage, *required):
    return [STATION, "{port}", port_stage, *required]


class LineReports(Desk):
    """Line files with known mistakes, and the exact counts of each report."""

    def test_a_good_route_finishes_every_phone_and_raises_nothing(self):
        stations = [("bsn", 1, "BSN", station("BSN")), ("bt", 2, "BT", station("BT", "BSN")),
                    ("ct", 3, "CT", station("CT", "BSN", "BT"))]
        code, report, stderr = self.line(stations, "--phones", 4, "--seed", 11)
        self.assertEqual(code, 0, stderr)
        self.assertEqual(report["finished"], {"every_stage_passed": 4, "failed_or_missing": []})
        self.assertEqual([s["exit_codes"] for s in report["stations"]], [{"0": 4}] * 3)
        # One read and one write of 1036 bytes at 115200 baud.
        self.assertEqual({s["link_floor_ms"] for s in report["stations"]}, {179.861})
        self.assertEqual((report["escapes"], report["lost_results"], report["checks"]), ([], [], []))
        self.assertEqual(list(self.desk.glob("*.phone")), [], "every phone leaves the desk")

    def test_a_skipped_route_check_lets_strays_escape(self):
        stations = [("bsn", 1, "BSN", station("BSN")), ("bt", 2, "BT", [TOOL, "fail", "BT", "--port", "{port}"]),
                    ("ct", 3, "CT", [BAD_STATION, "skip-route-check", "{port}", "CT", "BSN", "BT"]),
                    ("ft", 4, "FT", station("FT", "BSN", "BT", "CT"))]
        # stray rate, escapes, runs of ct, exit code
        for stray, escapes, ct_runs, exit_code in [("1", 3, 3, 1), ("0", 0, 0, 0)]:
            with self.subTest(stray=stray):
                self.setUp()
                code, report, stderr = self.line(stations, "--phones", 3, "--seed", 5, "--stray", stray)
                self.assertEqual(code, exit_code, stderr)
                draws = Draws(5)
                bsns = []
                for _ in range(3):
                    bsns.append(draws.bsn())
                    draws.chance(int(stray) * 1000000)  # carried on from bt; ct passes it, ft is the last
                self.assertEqual([e["phone"] for e in report["escapes"]], bsns[:escapes])
                self.assertEqual({e["station"] for e in report["escapes"]}, {"ct"} if escapes else set())
                self.assertEqual(report["stations"][2]["runs"], ct_runs)
                self.assertEqual(report["stations"][3]["exit_codes"], {"1": ct_runs} if ct_runs else {},
                                 "the next station's route check refuses each escaped phone")

    def test_a_station_that_leaves_its_link_open_is_raised_for_each_phone(self):
        stations = [("bsn", 1, "BSN", station("BSN")),
                    ("bt", 2, "BT", [BAD_STATION, "leave-open", "{port}", "BT", "BSN"])]
        code, report, stderr = self.line(stations, "--phones", 3, "--seed", 2)
        self.assertEqual(code, 1, stderr)
        self.assertEqual([(c["station"], "link on COM2 open" in c["detail"]) for c in report["checks"]],
                         [("bt", True)] * 3)
        self.assertEqual(report["finished"]["every_stage_passed"], 3)

    def test_an_ignored_failed_write_loses_results_under_faults(self):
        stations = [("bsn", 1, "BSN", [BAD_STATION, "ignore-failed-write", "{port}", "BSN"])]
        phones, seed, rate = 12, 7, 300000
        code, report, stderr = self.line(stations, "--phones", phones, "--seed", seed, "--faults", "0.3",
                                         "--stray", "0")
        draws = Draws(seed)
        lost, failed = [], 0
        for _ in range(phones):
            bsn = draws.bsn()
            planned = {op for op in OPS if draws.chance(rate)}
            # The calls before the write whose failure stops the station (the library goes on past
            # a failed init, as the fault injection tests show).
            before_write = planned & {"tls", "open", "detect", "read"}
            failed += bool(before_write)
            if "write" in planned and not before_write:
                lost.append(bsn)
        self.assertTrue(lost, "the seed plans at least one write fault that the station meets")
        self.assertEqual(code, 1, stderr)
        self.assertEqual([entry["phone"] for entry in report["lost_results"]], lost)
        self.assertEqual(report["stations"][0]["exit_codes"], {k: v for k, v in
                                                               {"0": phones - failed, "2": failed}.items() if v})
        faults = self.phone("fault", "--port", 1)
        self.assertEqual(faults.stdout.strip(), "no fault planned on COM1", "nothing leaks to the next phone")

    def test_a_station_that_hangs_is_stopped_at_its_limit_and_the_line_goes_on(self):
        # The limit is every station's: long enough under Wine for the next station to start
        # on a slow machine, and the hang far longer.
        limit = 30 if RUNNER else 2
        stations = [("hang", 1, "BSN", [FAULTY_STATION, "hold", "{port}", "600000"]),
                    ("bt", 2, "BT", station("BT", "BSN"))]
        code, report, stderr = self.line(stations, "--phones", 2, "--seed", 1, "--limit", limit, "--stray", "1")
        self.assertEqual(report["stations"][0]["timeouts"], 2, stderr)
        self.assertEqual(report["stations"][1]["exit_codes"], {"1": 2}, "each stray refused: BSN not recorded")
        self.assertEqual(code, 1, "a station stopped with its link open is raised")
        self.assertEqual(len(report["checks"]), 2)

    @unittest.skipIf(RUNNER, "a station written as a shell script is run by the native system")
    def test_what_a_station_leaves_running_ends_with_it(self):
        # The script starts a child that holds the port, waits until it holds it, then ends
        # or hangs; the line must still carry each phone off the port.
        holder = f'"{FAULTY_STATION}" hold "$1" 600000 > "$0.out" &\n' \
                 'until grep -q holding "$0.out" 2>/dev/null; do sleep 0.05; done\n'
        # name, the script's end, the station's count of how its runs ended
        cases = [("the station ends", "exit 0\n", "exit_codes", {"0": 2}),
                 ("the station hangs", "wait\n", "timeouts", 2)]
        for name, end, counted, counts in cases:
            with self.subTest(name):
                self.setUp()
                script = self.files / "holder.sh"
                script.write_text("#!/bin/sh\n" + holder + end)
                script.chmod(0o755)
                code, report, stderr = self.line([("hold", 1, "BSN", [str(script), "{port}"])], "--phones", 2,
                                                 "--seed", 1, "--limit", 3)
                self.assertNotIn("in use", stderr)
                self.assertEqual(report["stations"][0]["runs"], 2, stderr)
                self.assertEqual(report["stations"][0][counted], counts)
                self.assertEqual(list(self.desk.glob("*.phone")), [], "every phone leaves the desk")

    @unittest.skipIf(RUNNER, "a station written as a shell script is run by the native system")
    def test_a_station_that_never_really_ran_or_destroyed_its_phone_is_a_finding(self):
        phone = '"$STAGEMARK_SIM_DIR/port$1.phone"'
        swap = f'"{PHONE_TOOL}" remove --port "$1" && "{PHONE_TOOL}" insert --port "$1" --bsn 1111111111\n'
        # name, the station script, its count of how its runs ended, the list of phones it took off the line
        cases = [
            ("ended by a signal", "kill -SEGV $$\n", {"exit_codes": {"signal 11": 2}}, None),
            ("refused its words", "exit 64\n", {"exit_codes": {"64": 2}}, None),
            ("stopped at the limit", "exec sleep 600\n", {"exit_codes": {}, "timeouts": 2}, None),
            ("deleted its phone", f"rm {phone}\n", {"exit_codes": {"0": 2}}, "phones_destroyed"),
            ("damaged its phone", f"printf torn > {phone}\n", {"exit_codes": {"0": 2}}, "phones_destroyed"),
            ("swapped its phone", swap, {"exit_codes": {"0": 2}}, "phones_swapped"),
        ]
        for name, body, counts, taken_off in cases:
            with self.subTest(name):
                self.setUp()
                script = self.files / "station.sh"
                script.write_text("#!/bin/sh\n" + body)
                script.chmod(0o755)
                stations = [("mistake", 1, "BSN", [str(script), "{port}"]), ("bt", 2, "BT", station("BT", "BSN"))]
                code, report, stderr = self.line(stations, "--phones", 2, "--seed", 4, "--stray", "0", "--limit", 1)
                self.assertEqual(code, 1, stderr)
                tally = report["stations"][0]
                self.assertEqual({key: tally[key] for key in counts}, counts)
                draws = Draws(4)
                bsns = [draws.bsn(), draws.bsn()]  # no stray is drawn at a rate of 0
                for findings in ["phones_destroyed", "phones_swapped"]:
                    self.assertEqual([(d["station"], d["phone"]) for d in report[findings]],
                                     [("mistake", bsn) for bsn in bsns] if findings == taken_off else [], findings)
                self.assertEqual(report["stations"][1]["runs"], 0, "no phone went on")
                self.assertEqual(list(self.desk.glob("*.phone")), [], "every phone and its remains leave the desk")

    def test_a_line_that_stops_leaves_neither_its_phone_nor_its_faults(self):
        not_a_program = self.files / "not-a-program"
        not_a_program.write_text("no program, and no line saying which one reads it\n")
        not_a_program.chmod(0o755)
        code, report, stderr = self.line([("bsn", 1, "BSN", [str(not_a_program), "{port}"])], "--phones", 1,
                                          "--seed", 1, "--faults", "1")
        self.assertEqual(code, 2, stderr)
        self.assertIn("starting station bsn", stderr)
        self.assertEqual(list(self.desk.glob("*.phone")), [], "the line's phone left the desk")
        faults = self.phone("fault", "--port", 1)
        self.assertEqual(faults.stdout.strip(), "no fault planned on COM1", "nothing waits for the next station")

    @unittest.skipIf(RUNNER, "800 station processes: the native build; the line's counts under Wine are the tests above")
    def test_the_readme_line_and_each_bad_station_in_its_place(self):
        """examples/desk.line as the README runs it, then with the CT station replaced by each
        mistake of examples/bad: the seed makes every count the same on every run and target."""
        readme_line = (pathlib.Path(__file__).parent.parent / "examples" / "desk.line").read_text()
        readme_line = readme_line.replace("build/linux/bin/bad_station", BAD_STATION)
        readme_line = readme_line.replace("build/linux/bin/station", STATION)
        bad_ct = "ct      3     CT     {} {} {{port}} CT BSN BT"
        # the CT station, escapes, lost results, checks, phones that finished with every stage passed
        cases = [("station", 0, 0, 0, 13), ("skip-route-check", 4, 0, 0, 14), ("leave-open", 0, 0, 22, 13),
                 ("ignore-failed-write", 0, 3, 0, 13)]
        for mistake, escapes, lost, checks, finished in cases:
            with self.subTest(mistake):
                self.setUp()
                text = readme_line
                if mistake != "station":
                    text = "\n".join(bad_ct.format(BAD_STATION, mistake) if line.startswith("ct ") else line
                                     for line in readme_line.splitlines()) + "\n"
                path = self.files / "desk.line"
                path.write_text(text)
                result = self.phone("line", path, "--phones", 50, "--faults", "0.05", "--seed", 1, "--json",
                                    timeout=1200)
                report = json.loads(result.stdout)
                self.assertEqual((len(report["escapes"]), len(report["lost_results"]), len(report["checks"])),
                                 (escapes, lost, checks), result.stderr)
                self.assertEqual({e["station"] for e in report["escapes"] + report["lost_results"] +
                                  report["checks"]}, {"ct"} if escapes or lost or checks else set())
                self.assertEqual(report["finished"], {"every_stage_passed": finished, "failed_or_missing": []})
                self.assertEqual(result.returncode, 0 if mistake == "station" else 1)

    def test_paced_transfers_take_the_link_time_and_the_ports_go_back_to_desk_speed(self):
        self.assertEqual(self.phone("pace", "--port", 2, "on").returncode, 0)
        stations = [("bsn", 1, "BSN", station("BSN")), ("bt", 2, "BT", station("BT", "BSN"))]
        code, report, stderr = self.line(stations, "--phones", 2, "--seed", 3, "--pace")
        self.assertEqual(code, 0, stderr)
        for tally in report["stations"]:
            self.assertGreaterEqual(tally["cycle_ms"]["median"], tally["link_floor_ms"])
        self.assertFalse((self.desk / "port1.pace").exists(), "the port the line paced is back at desk speed")
        self.assertTrue((self.desk / "port2.pace").exists(), "the port paced before the line stays paced")


class LineRefusals(Desk):
    """What the line cannot take for sure is refused before any phone is touched."""

    def test_usage_errors(self):
        good = f"bsn 1 BSN {STATION} {{port}} BSN\n"
        # name, line file text, options, words said
        cases = [
            ("a port used twice", good + f"bt 1 BT {STATION} {{port}} BT\n", ["--phones", 1], "line 3: port 1"),
            ("an unknown stage", good + f"x 2 XT {STATION}\n", ["--phones", 1], "line 3: unknown stage 'XT'"),
            ("a command not found", "bsn 1 BSN ./no-such-station\n", ["--phones", 1],
             "line 2: the command './no-such-station' cannot be found"),
            ("a stage twice", good + f"again 2 BSN {STATION}\n", ["--phones", 1], "line 3: stage BSN"),
            ("no phones", good, [], "line needs --phones N"),
            ("zero phones", good, ["--phones", 0], "--phones '0'"),
            ("a seed twice", good, ["--phones", 1, "--seed", 1, "--seed", 2], "--seed is given twice"),
            ("a rate above 1", good, ["--phones", 1, "--faults", "1.5"], "--faults '1.5' is not a rate"),
            ("a limit of 0", good, ["--phones", 1, "--limit", 0], "--limit '0'"),
        ]
        for name, text, options, said in cases:
            with self.subTest(name):
                self.setUp()
                path = self.files / "test.line"
                path.write_text("# route\n" + text)
                result = self.phone("line", path, *options, "--json")
                self.assertEqual(result.returncode, 64, result.stderr)
                self.assertIn(said, result.stderr)
                self.assertEqual(json.loads(result.stdout)["step"], "usage")
                self.assertEqual(list(self.desk.iterdir()), [], "nothing touched the desk")

    @unittest.skipIf(RUNNER, "a FIFO is made by the native system")
    def test_a_fifo_for_a_line_file_is_refused_without_waiting(self):
        fifo = self.files / "fifo.line"
        os.mkfifo(fifo)
        result = self.phone("line", fifo, "--phones", 1, timeout=30)
        self.assertEqual(result.returncode, 64, result.stderr)
        self.assertIn("it is not a regular file", result.stderr)


# Its classes split into shards that run side by side (STAGEMARK_SHARD=K/N).
load_tests = test_shards.load_tests_of(__name__)

if __name__ == "__main__":
    if RUNNER and subprocess.run([*RUNNER, "--check"]).returncode == 77:
        sys.exit(77)  # the runner said why: the Windows programs cannot run on this machine
    unittest.main(verbosity=2)
