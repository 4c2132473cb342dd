#!/usr/bin/env python3
"""The Python binding installs as Python installs: the built wheel, with pip, offline, into a
fresh virtual environment that sees no system packages; the example station then runs from
a folder of its own on that environment's Python and records its stage on a desk's phone.
The source tree gets no build files from making the wheel or installing it.

    check_python_install.py WHEEL EXAMPLE LIBRARY PHONE_TOOL STATION_TOOL SOURCE_DIR VERSION

Run it with the system's Python: its venv module makes the environment.
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

PORT, BSN, STAGE = 6, "1234567890", "FT"
# What setuptools leaves beside a package built in place.
BUILD_LEFTOVERS = ("build", "dist", "*.egg-info")
# Nothing points the venv's Python at the source tree's package or at a library.
CLEAN_ENV = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME", "STAGEMARK_LIBRARY")}


def run(command, env=None, **kwargs):
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, env=env or CLEAN_ENV, **kwargs)
    if result.returncode != 0:
        print(f"$ {' '.join(str(c) for c in command)}\n{result.stdout}{result.stderr}(exit {result.returncode})")
    return result


def leftovers(binding):
    return sorted(str(p.relative_to(binding)) for pattern in BUILD_LEFTOVERS for p in binding.glob(pattern))


def check_venv_install(python, wheel, version):
    """The package is the venv's own, from the wheel, with the project's version."""
    shown = run([python, "-c", "import importlib.metadata, pathlib, stagemark, sys; "
                               "print(importlib.metadata.version('stagemark')); "
                               "print(pathlib.Path(stagemark.__file__).resolve().is_relative_to(pathlib.Path(sys.prefix).resolve()))"])
    if shown.returncode != 0:
        return False
    installed_version, inside = shown.stdout.split()
    if installed_version != version or inside != "True":
        print(f"{wheel.name}: the venv has stagemark {installed_version}, inside the venv: {inside}; expected {version}, "
              "inside")
        return False
    return True


def check_station(python, example, library, phone_tool, station_tool, temp):
    """The example station, in a folder with no package beside it, records FT on the phone."""
    desk = temp / "desk"
    desk.mkdir(mode=0o700)
    env = dict(CLEAN_ENV, STAGEMARK_SIM_DIR=str(desk))
    if run([phone_tool, "insert", "--port", PORT, "--bsn", BSN], env=env).returncode != 0:
        return False
    station_dir = temp / "station"
    station_dir.mkdir()
    station = shutil.copy(example, station_dir)
    ran = run([python, station, library, "--port", PORT, "--stage", STAGE], env=env, cwd=station_dir)
    print(f"station.py: {ran.stdout.strip()}")
    if ran.returncode != 0 or f"{STAGE} recorded as passed" not in ran.stdout:
        return False
    # The phone's record, read back by the station tool: that phone, that stage, nothing else.
    shown = run([station_tool, "status", "--port", PORT, "--json"], env=env)
    status = json.loads(shown.stdout) if shown.returncode == 0 else {}
    recorded = {s["stage"]: s["status"] for s in status.get("stages", []) if s["status"] != "not recorded"}
    if status.get("bsn") != BSN or recorded != {STAGE: "passed"}:
        print(f"phone on port {PORT} shows {status}, expected {BSN} with only {STAGE} passed")
        return False
    return True


def main(wheel, example, library, phone_tool, station_tool, source_dir, version):
    wheel, binding = pathlib.Path(wheel), pathlib.Path(source_dir) / "bindings" / "python"
    ok = True
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        venv = temp / "venv"
        if run([sys.executable, "-m", "venv", venv]).returncode != 0:
            return 1
        python = venv / "bin" / "python"
        installed = run([python, "-m", "pip", "install", "--quiet", "--no-index", "--no-deps", "--disable-pip-version-check",
                         wheel], cwd=temp)
        if installed.returncode != 0:
            return 1
        ok = check_venv_install(python, wheel, version) and check_station(python, example, library, phone_tool, station_tool,
                                                                         temp)
    left = leftovers(binding)
    if left:
        print(f"the source tree got build files in {binding}: {left}; the wheel must be built from a copy")
        ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
