#!/usr/bin/env python3
"""Builds the station zip, unpacks it as an integrator would, and loads the DLL from it.

    check_package.py CPACK BUILD_DIR VERSION WINE_RUN C_LOADER
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

EXPECTED = {
    "bin/stagemark.dll", "bin/stagemark.exe", "include/stagemark.h", "lib/libstagemark.dll.a",
    "lib/stagemark.def", "sim/sl.dll", "sim/dv.dll", "sim/stagemark-phone.exe", "examples/station.py", "README.md",
}


def main(cpack, build_dir, version, wine_run, c_loader):
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        subprocess.run([cpack, "-G", "ZIP", "-B", str(temp / "out")], cwd=build_dir, check=True,
                       stdout=subprocess.DEVNULL)
        archive = temp / "out" / f"stagemark-{version}-win32.zip"
        with zipfile.ZipFile(archive) as zf:
            names = {n.split("/", 1)[1] for n in zf.namelist() if not n.endswith("/")}
            zf.extractall(temp / "unpacked")
        missing, extra = EXPECTED - names, names - EXPECTED
        if missing or extra:
            print(f"package: missing {sorted(missing)}, unexpected {sorted(extra)}")
            return 1
        print(f"package {archive.name}: {len(names)} files as expected")

        root = temp / "unpacked" / f"stagemark-{version}-win32"
        bin_dir = root / "bin"
        # On a desk the stand-ins go beside the DLL, where the vendor's would.
        for dll in ("sl.dll", "dv.dll"):
            shutil.copy(root / "sim" / dll, bin_dir)
        shutil.copy(c_loader, bin_dir)
        run = subprocess.run([wine_run, str(bin_dir / pathlib.Path(c_loader).name), str(bin_dir / "stagemark.dll")],
                             capture_output=True, text=True)
        print(run.stdout, end="")
        return run.returncode


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
