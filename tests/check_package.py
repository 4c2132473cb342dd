#!/usr/bin/env python3
"""Builds the station zip, unpacks it as an integrator would, checks the Python wheel in it,
loads the DLL from it, and runs the C station, built with MinGW and as Visual C++ builds it,
against a phone on the desk.

    check_package.py CPACK BUILD_DIR VERSION WINE_RUN C_LOADER LOAD_ELSEWHERE STATION STATION_MSVC
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

EXPECTED = {
    "bin/stagemark.dll", "bin/stagemark.exe", "include/stagemark.h", "lib/libstagemark.dll.a", "lib/stagemark.lib",
    "lib/stagemark.def", "sim/sl.dll", "sim/dv.dll", "sim/stagemark-phone.exe", "examples/station.py",
    "examples/station.c", "examples/Station.cs", "README.md", "LICENSE", "bindings/dotnet/Stagemark.cs",
}
# The Python binding as pip installs it: a wheel of the package, with the project's version.
WHEEL_MODULES = {"__init__.py", "_errors.py", "_native.py", "_station.py", "py.typed"}


def wheel_name(version):
    return f"bindings/python/stagemark-{version}-py3-none-any.whl"


def check_wheel(wheel, version):
    """The wheel holds the package's modules and says the project's version: 0 when it does."""
    with zipfile.ZipFile(wheel) as zf:
        names = set(zf.namelist())
        metadata_file = f"stagemark-{version}.dist-info/METADATA"
        metadata = zf.read(metadata_file).decode() if metadata_file in names else ""
    modules = {n.split("/", 1)[1] for n in names if n.startswith("stagemark/")}
    if not WHEEL_MODULES <= modules or f"\nVersion: {version}\n" not in metadata:
        print(f"{wheel.name}: modules {sorted(modules)}, metadata {metadata!r}; expected {sorted(WHEEL_MODULES)} and "
              f"version {version}")
        return 1
    return 0


def run_stations(wine_run, bin_dir, stations, desk):
    """Each build of the C station passes BSN on a fresh phone: 0 when all did."""
    env = dict(os.environ, STAGEMARK_SIM_DIR=str(desk))
    for station in stations:
        inserted = subprocess.run([wine_run, str(bin_dir.parent / "sim" / "stagemark-phone.exe"), "insert", "--port",
                                   "1"], env=env, capture_output=True, text=True)
        run = subprocess.run([wine_run, str(bin_dir / pathlib.Path(station).name), "1", "BSN"], env=env,
                             capture_output=True, text=True)
        print(f"{pathlib.Path(station).name}: {run.stdout.strip()} {run.stderr.strip()}")
        if inserted.returncode != 0 or run.returncode != 0 or "BSN recorded as passed" not in run.stdout:
            return inserted.returncode or run.returncode or 1
        (desk / "port1.phone").unlink()
    return 0


def load_from_elsewhere(wine_run, root, load_elsewhere, desk):
    """A program outside bin/ loads bin/stagemark.dll by full path, and records a result."""
    env = dict(os.environ, STAGEMARK_SIM_DIR=str(desk))
    subprocess.run([wine_run, str(root / "sim" / "stagemark-phone.exe"), "insert", "--port", "2"], env=env,
                   check=True, capture_output=True)
    elsewhere = root / "elsewhere"
    elsewhere.mkdir()
    shutil.copy(load_elsewhere, elsewhere)
    run = subprocess.run([wine_run, str(elsewhere / pathlib.Path(load_elsewhere).name),
                          "Z:" + str(root / "bin" / "stagemark.dll").replace("/", "\\"), "2"], env=env,
                         capture_output=True, text=True)
    print(run.stdout.strip(), run.stderr.strip())
    return run.returncode


def main(cpack, build_dir, version, wine_run, c_loader, load_elsewhere, *stations):
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        subprocess.run([cpack, "-G", "ZIP", "-B", str(temp / "out")], cwd=build_dir, check=True,
                       stdout=subprocess.DEVNULL)
        archive = temp / "out" / f"stagemark-{version}-win32.zip"
        with zipfile.ZipFile(archive) as zf:
            names = {n.split("/", 1)[1] for n in zf.namelist() if not n.endswith("/")}
            zf.extractall(temp / "unpacked")
        expected = EXPECTED | {wheel_name(version)}
        missing, extra = expected - names, names - expected
        if missing or extra:
            print(f"package: missing {sorted(missing)}, unexpected {sorted(extra)}")
            return 1
        print(f"package {archive.name}: {len(names)} files as expected")

        root = temp / "unpacked" / f"stagemark-{version}-win32"
        if check_wheel(root / wheel_name(version), version):
            return 1
        bin_dir = root / "bin"
        # On a desk the stand-ins go beside the DLL, where the vendor's would.
        for dll in ("sl.dll", "dv.dll"):
            shutil.copy(root / "sim" / dll, bin_dir)
        for program in (c_loader, *stations):
            shutil.copy(program, bin_dir)
        run = subprocess.run([wine_run, str(bin_dir / pathlib.Path(c_loader).name), str(bin_dir / "stagemark.dll")],
                             capture_output=True, text=True)
        print(run.stdout, end="")
        if run.returncode != 0:
            return run.returncode
        desk = temp / "desk"
        desk.mkdir()
        return run_stations(wine_run, bin_dir, stations, desk) or load_from_elsewhere(wine_run, root, load_elsewhere,
                                                                                        desk)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
