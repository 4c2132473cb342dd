#!/usr/bin/env python3
"""A station program in Python, on the stagemark package (bindings/python).

    station.py LIBRARY --port N [--stage FT] [--requires BSN,BT]

Opens the link, detects the phone, opens the test handle, refuses the phone unless every
required stage passed, records this station's stage as passed, and closes everything on
every path. On Windows run it under a 32-bit Python, with stagemark.dll, sl.dll and dv.dll
in one folder. Exit: 0 recorded, 1 refused, 2 a step failed, 64 usage error.
"""
import argparse
import pathlib
import re
import sys

# In the repository the package sits beside the examples; a station elsewhere, and the zip,
# install it with pip from the wheel (bindings/python/stagemark-VERSION-py3-none-any.whl).
_BESIDE = pathlib.Path(__file__).resolve().parent.parent / "bindings" / "python"
if (_BESIDE / "stagemark").is_dir():
    sys.path.insert(0, str(_BESIDE))
import stagemark  # noqa: E402

STAGES = stagemark.STAGE_NAMES


def run(library, port, stage, requires):
    try:
        with stagemark.Link(port, detect=0, library=library) as link, link.open_handle() as phone:
            print(f"phone {phone.bsn}: working copy of {len(phone.working_copy)} bytes")
            missing = [s for s in requires if phone.status(s) is not stagemark.Status.PASSED]
            if missing:
                print("refused: " + ", ".join(f"{s} {phone.status(s).name.lower().replace('_', ' ')}" for s in missing))
                return 1
            phone.record(stage, passed=True)
            print(f"{stage} recorded as {phone.status(stage).name.lower()}")
            return 0
    except stagemark.StagemarkError as error:
        print(f"station: {error}", file=sys.stderr)
        return 2


def port_number(text):
    """0..255 in plain ASCII decimal, as the station tool takes it: the library takes the port
    as one byte, and a larger number would wrap to another phone. int() would also take
    "1_2", " 12", "+12", "012" and other scripts' digits, each as COM12."""
    if not re.fullmatch(r"0|[1-9][0-9]{0,2}", text) or int(text) > 255:
        raise argparse.ArgumentTypeError(f"port '{text}' is not a number from 0 to 255")
    return int(text)


def stage_name(text):
    """A stage, named in any case; ASCII only, as the package takes it ("ımeı".upper() is "IMEI")."""
    try:
        return stagemark.Stage.of(text).value
    except stagemark.StagemarkError:
        raise argparse.ArgumentTypeError(f"unknown stage '{text}' (stages: {' '.join(STAGES)})") from None


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
    return run(args.library, args.port, args.stage, args.requires)


if __name__ == "__main__":
    sys.exit(main())
