#!/usr/bin/env python3
"""Checks a built library's export and import tables against the interface.

    check_exports.py --def stagemark.def --dll stagemark.dll --objdump OBJDUMP
                     --imports dv.dll=name,name --imports sl.dll=name,...
    check_exports.py --def stagemark.def --so libstagemark.so
    check_exports.py --def stagemark.def --objdump OBJDUMP --station station_msvc.exe
"""
import argparse
import re
import struct
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll"}


def def_exports(path):
    names, in_exports = [], False
    for line in open(path, encoding="ascii"):
        line = line.split(";")[0].strip()
        if not line:
            continue
        if line.upper() == "EXPORTS":
            in_exports = True
        elif in_exports:
            names.append(line.split()[0])
    return names


def dll_tables(objdump, dll):
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", text.split("[Ordinal/Name Pointer] Table", 1)[1], re.M) \
        if "[Ordinal/Name Pointer] Table" in text else []
    imports, current = {}, None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = m.group(1)
            imports[current] = []
            continue
        m = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if current and m:
            imports[current].append(m.group(1))
        elif not line.strip():
            current = None
    return exports, imports


def so_exports(so):
    text = subprocess.run(["nm", "-D", "--defined-only", so], check=True, capture_output=True, text=True).stdout
    return [line.split()[-1] for line in text.splitlines() if re.search(r" [TDBRVW] ", line)]


def compare(what, got, want):
    missing, extra = sorted(set(want) - set(got)), sorted(set(got) - set(want))
    if missing or extra or len(got) != len(set(got)):
        print(f"{what}: missing {missing}, unexpected {extra}")
        return False
    print(f"{what}: exactly the {len(want)} expected names")
    return True


def check_version(dll, version):
    """The fixed part of the VERSIONINFO resource carries the file and product version."""
    major, minor, patch = (int(n) for n in version.split("."))
    data = open(dll, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        print("no version resource")
        return False
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    want_ms, want_ls = major << 16 | minor, patch << 16
    if (file_ms, file_ls, product_ms, product_ls) != (want_ms, want_ls, want_ms, want_ls):
        print(f"version resource does not say {version}")
        return False
    if "stagemark".encode("utf-16-le") not in data:
        print("version resource has no description")
        return False
    print(f"version resource: {version}")
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--def", dest="deffile", required=True)
    parser.add_argument("--dll")
    parser.add_argument("--objdump")
    parser.add_argument("--so")
    parser.add_argument("--imports", action="extend", nargs="+", default=[], help="DLL=name,name")
    parser.add_argument("--version", help="MAJOR.MINOR.PATCH the DLL's version resource must carry")
    parser.add_argument("--station", help="a station linked against an import library: it must import from "
                                          "stagemark.dll only names the DLL exports, undecorated")
    args = parser.parse_args()
    want = def_exports(args.deffile)
    ok = True
    if args.so:
        ok &= compare("shared object exports", so_exports(args.so), want)
    if args.dll:
        exports, imports = dll_tables(args.objdump, args.dll)
        ok &= compare("DLL exports", exports, want)
        expected_imports = {}
        for entry in args.imports:
            dll, names = entry.split("=", 1)
            expected_imports[dll.lower()] = [n for n in names.split(",") if n]
        for dll, names in imports.items():
            key = dll.lower()
            if key in expected_imports:
                ok &= compare(f"imports from {dll}", names, expected_imports.pop(key))
            elif key not in SYSTEM_DLLS:
                print(f"unexpected import of {dll}: {names}")
                ok = False
        for dll in expected_imports:
            print(f"expected imports from {dll}, found none")
            ok = False
    if args.station:
        _, imports = dll_tables(args.objdump, args.station)
        names = next((n for dll, n in imports.items() if dll.lower() == "stagemark.dll"), [])
        unknown = sorted(set(names) - set(want))
        print(f"{args.station}: imports {len(names)} names from stagemark.dll, unknown {unknown}")
        ok &= bool(names) and not unknown
    if args.dll and args.version:
        ok &= check_version(args.dll, args.version)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
