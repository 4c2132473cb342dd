#!/usr/bin/env python3
"""Makes the station zip from a build, the same bytes from every build of one commit.

    make_zip.py CMAKE BUILD_DIR SOURCE_DIR NAME OUT_DIR

Installs BUILD_DIR into a fresh folder NAME, writes SHA256SUMS there (every file it
carries, as `sha256sum -c` reads it), and zips it as OUT_DIR/NAME.zip: entries in one
fixed order, each stamped with the commit's time, never the build's.

The time is SOURCE_DATE_EPOCH when it is set, else the last commit's time in SOURCE_DIR.
"""
import hashlib
import os
import pathlib
import subprocess
import sys
import tempfile
import time
import zipfile

ZIP_FIRST_TIME = 315532800  # 1980-01-01, the first time a zip entry can carry


def commit_time(source):
    """SOURCE_DATE_EPOCH, or the last commit's time; None when neither can be had."""
    given = os.environ.get("SOURCE_DATE_EPOCH", "")
    if given:
        return int(given) if given.isascii() and given.isdigit() else None
    try:
        run = subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"], capture_output=True, text=True,
                             check=True)
        return int(run.stdout.strip())
    except (OSError, ValueError, subprocess.CalledProcessError):
        return None


def package_files(root):
    """Every file under root, as zip names relative to it, in one order on every machine."""
    return sorted(p.relative_to(root).as_posix() for p in root.rglob("*") if p.is_file())


def write_sums(root):
    lines = []
    for name in package_files(root):
        lines.append(f"{hashlib.sha256((root / name).read_bytes()).hexdigest()}  {name}\n")
    (root / "SHA256SUMS").write_text("".join(lines), encoding="ascii", newline="\n")


def write_zip(root, name, archive, stamp):
    date_time = time.gmtime(max(stamp, ZIP_FIRST_TIME))[:6]
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as zf:
        for entry in package_files(root):
            path = root / entry
            info = zipfile.ZipInfo(f"{name}/{entry}", date_time)
            info.create_system = 3  # Unix: the mode below is what unzip gives the file
            mode = 0o755 if os.access(path, os.X_OK) else 0o644
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            zf.writestr(info, path.read_bytes(), compresslevel=9)


def main(cmake, build_dir, source_dir, name, out_dir):
    stamp = commit_time(source_dir)
    if stamp is None:
        print("making the zip failed: it takes its files' time from the commit, and SOURCE_DATE_EPOCH is not a number "
              f"of seconds, or {source_dir} is no git checkout; set SOURCE_DATE_EPOCH to the commit's time "
              "(git log -1 --format=%ct)", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as staging:
        root = pathlib.Path(staging) / name
        run = subprocess.run([cmake, "--install", build_dir, "--prefix", str(root)], capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout + run.stderr, file=sys.stderr)
            print(f"making the zip failed: installing {build_dir} failed; build it first "
                  f"(cmake --build {build_dir})", file=sys.stderr)
            return 1
        write_sums(root)
        out = pathlib.Path(out_dir)
        out.mkdir(parents=True, exist_ok=True)
        archive = out / f"{name}.zip"
        write_zip(root, name, archive, stamp)
    print(f"made {archive}")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        print(__doc__, file=sys.stderr)
        sys.exit(64)
    sys.exit(main(*sys.argv[1:]))
