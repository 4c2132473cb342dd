#!/usr/bin/env python3
"""Builds the stagemark wheel from a copy of the package, so the source tree gets no build
files, and the same sources give the same bytes.

    build_wheel.py PACKAGE PYPROJECT STAGING WHEEL

PACKAGE is the stagemark folder, PYPROJECT the configured pyproject.toml, STAGING a folder
made anew for the copy, WHEEL the file to make (stagemark-VERSION-py3-none-any.whl).
"""
import os
import pathlib
import shutil
import subprocess
import sys

# Zip stamps start in 1980: the stamp given when the commit's own cannot be had.
ZIP_EPOCH = "315532800"


def commit_time(source):
    """The last commit's time, so a rebuild of one commit stamps the wheel's files alike."""
    try:
        run = subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"], capture_output=True, text=True,
                             check=True)
        return run.stdout.strip() or ZIP_EPOCH
    except (OSError, subprocess.CalledProcessError):
        return ZIP_EPOCH


def main(package, pyproject, staging, wheel):
    package, staging, wheel = pathlib.Path(package), pathlib.Path(staging), pathlib.Path(wheel)
    shutil.rmtree(staging, ignore_errors=True)
    shutil.copytree(package, staging / "stagemark", ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))
    shutil.copy(pyproject, staging / "pyproject.toml")
    # The wheel keeps each file's mode: the same for every file, whatever the checkout's umask.
    for path in staging.rglob("*"):
        path.chmod(0o755 if path.is_dir() else 0o644)
    out = staging / "dist"
    env = dict(os.environ, SOURCE_DATE_EPOCH=os.environ.get("SOURCE_DATE_EPOCH") or commit_time(package))
    run = subprocess.run([sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", str(out), str(staging)],
                         env=env, capture_output=True, text=True)
    if run.returncode != 0:
        print(run.stdout + run.stderr, file=sys.stderr)
        print(f"building the Python wheel failed; it needs Debian's python3-build and python3-wheel "
              f"(scripts/install-deps.sh installs them) for {sys.executable}", file=sys.stderr)
        return 1
    built = out / wheel.name
    if not built.is_file():
        print(f"building the Python wheel made {sorted(p.name for p in out.iterdir())}, not {wheel.name}: "
              f"check the version in {pyproject}", file=sys.stderr)
        return 1
    wheel.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(built, wheel)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
