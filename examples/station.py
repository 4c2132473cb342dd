#!/usr/bin/env python3
"""A station program in Python: drives stagemark through ctypes.

    station.py LIBRARY --port N [--stage FT] [--requires BSN,BT]

Opens the link, detects the phone, opens the test handle, refuses the phone unless every
required stage passed, records this station's stage as passed, and closes everything.
On Windows load stagemark.dll the same way, from a 32-bit Python: CDLL (cdecl), not WinDLL.
"""
import argparse
import ctypes
import sys

STAGES = ("BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2")
TEST_HANDLE_SIZE = 819
BSN_TEXT_SIZE = 11
WORDS = {0: "not recorded", 1: "passed", 2: "failed"}


def load(path):
    lib = ctypes.CDLL(path)
    lib.InitTat.argtypes, lib.InitTat.restype = [ctypes.c_ubyte], ctypes.c_int
    lib.DetectMobile.argtypes, lib.DetectMobile.restype = [ctypes.c_int], ctypes.c_int
    lib.ExitTat.argtypes, lib.ExitTat.restype = [ctypes.c_ubyte], ctypes.c_int
    # The working copy's address: a pointer, never cut to an int.
    lib.OpenTestHandle.argtypes = []
    lib.OpenTestHandle.restype = ctypes.POINTER(ctypes.c_ubyte * TEST_HANDLE_SIZE)
    lib.CloseTestHandle.argtypes, lib.CloseTestHandle.restype = [], None
    lib.GetBsnStr.argtypes, lib.GetBsnStr.restype = [ctypes.c_char_p], ctypes.c_int
    for stage in STAGES:
        for name in (f"{stage}_Pass", f"{stage}_Fail", f"{stage}_Status", f"R_{stage}_Pass", f"R_{stage}_Fail"):
            function = getattr(lib, name)
            function.argtypes, function.restype = [], ctypes.c_int
    return lib


def run(lib, port, stage, requires):
    if not lib.InitTat(port):
        print(f"the link could not open on COM{port}", file=sys.stderr)
        return 2
    try:
        if not lib.DetectMobile(0):
            print("no phone was detected", file=sys.stderr)
            return 2
        handle = lib.OpenTestHandle()
        if not handle:
            print("the phone's record could not be read", file=sys.stderr)
            return 2
        try:
            bsn = ctypes.create_string_buffer(BSN_TEXT_SIZE)
            lib.GetBsnStr(bsn)
            working_copy = bytes(handle.contents)
            print(f"phone {bsn.value.decode()}: working copy of {len(working_copy)} bytes")
            missing = [s for s in requires if getattr(lib, f"{s}_Status")() != 1]
            if missing:
                print("refused: " + ", ".join(f"{s} {WORDS[getattr(lib, f'{s}_Status')()]}" for s in missing))
                return 1
            if not getattr(lib, f"{stage}_Pass")():
                print("the phone's record could not be written", file=sys.stderr)
                return 2
            print(f"{stage} recorded as {WORDS[getattr(lib, f'{stage}_Status')()]}")
            return 0
        finally:
            lib.CloseTestHandle()
    finally:
        lib.ExitTat(port)


def port_number(text):
    """0..255: the library takes the port as one byte, and a larger number would wrap to another phone."""
    try:
        port = int(text, 10)
    except ValueError:
        port = -1
    if not 0 <= port <= 255:
        raise argparse.ArgumentTypeError(f"port '{text}' is not a number from 0 to 255")
    return port


def stage_name(text):
    """A stage, named in any case."""
    if text.upper() not in STAGES:
        raise argparse.ArgumentTypeError(f"unknown stage '{text}' (stages: {' '.join(STAGES)})")
    return text.upper()


def stage_list(text):
    return [stage_name(name) for name in text.split(",") if name]


class Once(argparse.Action):
    """Refuses an option given twice: the last value must never quietly win."""

    def __call__(self, parser, namespace, values, option_string=None):
        if getattr(namespace, f"_{self.dest}_seen", False):
            parser.error(f"{option_string} is given twice")
        setattr(namespace, f"_{self.dest}_seen", True)
        setattr(namespace, self.dest, values)


class Parser(argparse.ArgumentParser):
    def error(self, message):
        self.print_usage(sys.stderr)
        print(f"{self.prog}: {message}", file=sys.stderr)
        sys.exit(64)  # a usage error, as the station tool reports it


def main():
    parser = Parser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("library")
    parser.add_argument("--port", type=port_number, required=True, action=Once)
    parser.add_argument("--stage", type=stage_name, default="FT", action=Once)
    parser.add_argument("--requires", type=stage_list, default=[], action=Once,
                        help="comma-separated stages that must have passed")
    args = parser.parse_args()
    return run(load(args.library), args.port, args.stage, args.requires)


if __name__ == "__main__":
    sys.exit(main())
