#!/usr/bin/env python3
"""Installs the Linux build into a fresh prefix and builds a C station against it, as a Linux
station's developer does: once with pkg-config, once as a CMake project with
find_package(stagemark). Each runs against the desk with the desk's folder first on
LD_LIBRARY_PATH, and must record its stage on its own phone, loading nothing from the build
folder. No installed file may find its neighbours through the build folder.

    check_linux_install.py CMAKE PKG_CONFIG BUILD_DIR SOURCE_DIR C_COMPILER
"""
import json
import os
import pathlib
import shlex
import subprocess
import sys
import tempfile
import textwrap

# Each way of building the station meets its own phone, so a result can land on one phone only.
BUILDS = [
    # (how the station is built, port, the phone's BSN, the stage it records)
    ("pkg-config", 3, "1234567890", "BT"),
    ("find_package", 4, "2345678901", "CT"),
]

STATION_PROJECT = textwrap.dedent("""\
    cmake_minimum_required(VERSION 3.25)
    project(station C)
    find_package(stagemark 1 REQUIRED)
    add_executable(station {source})
    target_link_libraries(station PRIVATE stagemark::stagemark)
    """)


def run(command, **kwargs):
    """Runs a step; a failing one shows what it printed."""
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        print(f"$ {shlex.join(str(c) for c in command)}\n{result.stdout}{result.stderr}(exit {result.returncode})")
    return result


def elf_files(prefix):
    for path in sorted(prefix.rglob("*")):
        if path.is_file() and not path.is_symlink():
            with open(path, "rb") as f:
                if f.read(4) == b"\x7fELF":
                    yield path


def search_paths(path):
    """The RUNPATH and RPATH entries of an ELF file, as readelf shows them."""
    dynamic = run(["readelf", "-d", path], check=True).stdout
    entries = []
    for line in dynamic.splitlines():
        if "(RUNPATH)" in line or "(RPATH)" in line:
            entries += line.split("[", 1)[1].rstrip("]").split(":")
    return entries


def soname(path):
    for line in run(["readelf", "-d", path], check=True).stdout.splitlines():
        if "(SONAME)" in line:
            return line.split("[", 1)[1].rstrip("]")
    return None


def check_search_paths(prefix):
    """Every installed library and program finds its neighbours through its own folder: a
    path into the build folder would load the build's libraries, and an empty entry the
    current folder's."""
    bad = [(path.relative_to(prefix), entry) for path in elf_files(prefix) for entry in search_paths(path)
           if not entry.startswith("$ORIGIN")]
    for path, entry in bad:
        print(f"{path}: searches '{entry}', not its own folder ($ORIGIN)")
    return not bad


def build_with_pkg_config(pkg_config, compiler, source, out, env):
    flags = run([pkg_config, "--cflags", "--libs", "stagemark"], env=env)
    if flags.returncode != 0:
        return None
    station = out / "station"
    built = run([compiler, source, *shlex.split(flags.stdout), "-o", station], env=env)
    return station if built.returncode == 0 else None


def build_with_find_package(cmake, compiler, source, out, prefix, env):
    project = out / "project"
    project.mkdir()
    (project / "CMakeLists.txt").write_text(STATION_PROJECT.format(source=source.as_posix()))
    configured = run([cmake, "-S", project, "-B", out / "build", "-G", "Ninja", f"-DCMAKE_C_COMPILER={compiler}",
                      f"-DCMAKE_PREFIX_PATH={prefix}", "-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF"], env=env)
    if configured.returncode != 0 or run([cmake, "--build", out / "build"], env=env).returncode != 0:
        return None
    return out / "build" / "station"


def phone_status(tool, port, env):
    shown = run([tool, "status", "--port", port, "--json"], env=env)
    if shown.returncode != 0:
        return None
    return json.loads(shown.stdout)


def loaded_from(station, env):
    """Where the loader takes each library from: name -> path."""
    listing = run(["ldd", station], env=env, check=True).stdout
    found = {}
    for line in listing.splitlines():
        if "=>" in line:
            name, path = line.split("=>", 1)
            found[name.strip()] = path.split("(")[0].strip()
    return found


def check_station(name, station, port, bsn, stage, prefix, desk_dir, env):
    """The station records its stage on its phone only when the desk is asked for, and takes
    the installed library and the desk's stand-ins, nothing from the build folder."""
    tool = desk_dir / "stagemark"
    lib_dir = prefix / "lib"
    without_desk = subprocess.run([station, str(port), stage], env=dict(env, LD_LIBRARY_PATH=str(lib_dir)),
                                  capture_output=True, text=True)
    if without_desk.returncode == 0:
        print(f"{name}: ran without the desk's folder on LD_LIBRARY_PATH: the stand-ins were found by default")
        return False
    print(f"{name}, without the desk's folder: does not start ({without_desk.stderr.strip()})")
    on_desk = dict(env, LD_LIBRARY_PATH=f"{desk_dir}:{lib_dir}")
    libraries = loaded_from(station, on_desk)
    expected = {"libstagemark.so.1": lib_dir, "libsl.so": desk_dir, "libdv.so": desk_dir}
    wrong = {lib: libraries.get(lib) for lib, folder in expected.items()
             if libraries.get(lib) is None or pathlib.Path(libraries[lib]).resolve().parent != folder.resolve()}
    if wrong:
        print(f"{name}: loads {wrong}, expected {{{', '.join(f'{k}: {v}' for k, v in expected.items())}}}")
        return False
    ran = run([station, port, stage], env=on_desk)
    print(f"{name}: {ran.stdout.strip()}")
    if ran.returncode != 0 or f"phone {bsn}: {stage} recorded as passed" not in ran.stdout:
        print(f"{name}: the station did not report {stage} recorded on phone {bsn}")
        return False
    status = phone_status(tool, port, on_desk)
    states = {s["stage"]: s["status"] for s in status["stages"]} if status else {}
    recorded = {s: state for s, state in states.items() if state != "not recorded"}
    if status is None or status["bsn"] != bsn or recorded != {stage: "passed"}:
        print(f"{name}: phone on port {port} shows {status}, expected {bsn} with only {stage} passed")
        return False
    return True


def main(cmake, pkg_config, build_dir, source_dir, compiler):
    source = pathlib.Path(source_dir) / "examples" / "station.c"
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        prefix = temp / "prefix"
        if run([cmake, "--install", build_dir, "--prefix", prefix]).returncode != 0:
            return 1
        ok = check_search_paths(prefix)
        library = prefix / "lib" / "libstagemark.so.1.0.0"
        if soname(library) != "libstagemark.so.1":
            print(f"{library.name}: soname {soname(library)}, expected libstagemark.so.1")
            ok = False

        env = dict(os.environ, PKG_CONFIG_PATH=str(prefix / "lib" / "pkgconfig"), STAGEMARK_SIM_DIR=str(temp / "desk"))
        env.pop("LD_LIBRARY_PATH", None)
        (temp / "desk").mkdir(mode=0o700)
        desk_dir = pathlib.Path(run([pkg_config, "--variable=deskdir", "stagemark"], env=env,
                                    check=True).stdout.strip())
        if desk_dir.resolve() != (prefix / "lib" / "stagemark" / "desk").resolve():
            print(f"pkg-config names the desk {desk_dir}, not {prefix}/lib/stagemark/desk")
            return 1
        for name, port, bsn, _ in BUILDS:
            if run([desk_dir / "stagemark-phone", "insert", "--port", port, "--bsn", bsn], env=env).returncode != 0:
                return 1
        for name, port, bsn, stage in BUILDS:
            out = temp / name
            out.mkdir()
            if name == "pkg-config":
                station = build_with_pkg_config(pkg_config, compiler, source, out, env)
            else:
                station = build_with_find_package(cmake, compiler, source, out, prefix, env)
            if station is None:
                print(f"{name}: building examples/station.c against {prefix} failed")
                ok = False
                continue
            ok = check_station(name, station, port, bsn, stage, prefix, desk_dir, env) and ok
        return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
