#!/usr/bin/env python3
"""Builds the station zip, unpacks it as an integrator would, checks its checksums, that its
programs and DLLs are stripped with their debug information kept in the build, that no
file names the folders it was built from, checks the Python wheel in it, loads the DLL
from it, and runs the C station, built with MinGW and as Visual C++ builds it, against a
phone on the desk.

    check_package.py CMAKE OBJDUMP OBJCOPY SOURCE_DIR BUILD_DIR VERSION WINE_RUN C_LOADER LOAD_ELSEWHERE
                     STATION STATION_MSVC
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile
import zlib

EXPECTED = {
    "bin/stagemark.dll", "bin/stagemark.exe", "include/stagemark.h", "lib/libstagemark.dll.a", "lib/stagemark.lib",
    "lib/stagemark.def", "sim/sl.dll", "sim/dv.dll", "sim/stagemark-phone.exe", "examples/station.py",
    "examples/station.c", "examples/Station.cs", "README.md", "LICENSE", "bindings/dotnet/Stagemark.cs",
    "SHA256SUMS",
}
PE_FILES = ("bin/stagemark.dll", "bin/stagemark.exe", "sim/sl.dll", "sim/dv.dll", "sim/stagemark-phone.exe")
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


def check_sums(root, names):
    """SHA256SUMS lists every other file, and `sha256sum -c` takes it: 0 when both hold."""
    listed = {line.split("  ", 1)[1] for line in (root / "SHA256SUMS").read_text().splitlines()}
    if listed != names - {"SHA256SUMS"}:
        print(f"SHA256SUMS lists {sorted(listed ^ (names - {'SHA256SUMS'}))} wrongly")
        return 1
    run = subprocess.run(["sha256sum", "-c", "--quiet", "SHA256SUMS"], cwd=root, capture_output=True, text=True)
    if run.returncode != 0:
        print(f"sha256sum -c SHA256SUMS failed: {run.stdout}{run.stderr}")
    return run.returncode


def debug_link(objcopy, pe, temp):
    """The file name and checksum in a PE file's debug link, or None when it has none."""
    out = temp / f"{pe.name}.debuglink"
    run = subprocess.run([objcopy, f"--dump-section=.gnu_debuglink={out}", str(pe), str(temp / "copy")],
                         capture_output=True)
    data = out.read_bytes() if run.returncode == 0 and out.is_file() else b""
    if len(data) < 8 or b"\0" not in data:
        return None
    name = data[:data.index(b"\0")].decode()
    return name, int.from_bytes(data[-4:], "little")


def check_stripped(objdump, objcopy, root, bin_dir, temp):
    """Each PE file has no debug section and links to its debug file in the build: 0 when all do."""
    for name in PE_FILES:
        pe = root / name
        sections = subprocess.run([objdump, "-h", str(pe)], capture_output=True, text=True, check=True).stdout
        if ".debug_" in sections:
            print(f"{name} carries debug sections; it should be stripped:\n{sections}")
            return 1
        link = debug_link(objcopy, pe, temp)
        debug = bin_dir / f"{pe.name}.debug"
        if link is None or link[0] != debug.name or not debug.is_file() or \
                zlib.crc32(debug.read_bytes()) != link[1]:
            print(f"{name}: debug link {link}, expected {debug.name} with the checksum of {debug}")
            return 1
    print(f"{len(PE_FILES)} PE files stripped, each linked to its debug file in the build")
    return 0


def check_no_build_paths(root, names, debug_files, folders):
    """No packaged file, nor a debug file kept in the build, holds the source or build folder's path."""
    for path in [root / n for n in sorted(names)] + debug_files:
        data = path.read_bytes()
        for folder in folders:
            if os.fsencode(folder) in data:
                print(f"{path} holds the path {folder}: a rebuild elsewhere would differ")
                return 1
    return 0


def main(cmake, objdump, objcopy, source_dir, build_dir, version, wine_run, c_loader, load_elsewhere, *stations):
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        name = f"stagemark-{version}-win32"
        make_zip = pathlib.Path(source_dir) / "packaging" / "make_zip.py"
        subprocess.run([sys.executable, str(make_zip), cmake, build_dir, source_dir, name, str(temp / "out")],
                       check=True, stdout=subprocess.DEVNULL)
        archive = temp / "out" / f"{name}.zip"
        with zipfile.ZipFile(archive) as zf:
            names = {n.split("/", 1)[1] for n in zf.namelist() if not n.endswith("/")}
            zf.extractall(temp / "unpacked")
        expected = EXPECTED | {wheel_name(version)}
        missing, extra = expected - names, names - expected
        if missing or extra:
            print(f"package: missing {sorted(missing)}, unexpected {sorted(extra)}")
            return 1
        print(f"package {archive.name}: {len(names)} files as expected")

        root = temp / "unpacked" / name
        built = pathlib.Path(build_dir) / "bin"
        debug_files = [built / f"{pathlib.Path(n).name}.debug" for n in PE_FILES]
        if check_sums(root, names) or check_stripped(objdump, objcopy, root, built, temp) or \
                check_no_build_paths(root, names, debug_files, (source_dir, build_dir)) or \
                check_wheel(root / wheel_name(version), version):
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
