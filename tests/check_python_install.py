#!/usr/bin/env python3
"""The Python binding installs offline with pip, as a station PC with no network installs it.

    check_python_install.py BINDING_FOLDER
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile


def main(binding):
    with tempfile.TemporaryDirectory() as temp:
        source, target = pathlib.Path(temp) / "source", pathlib.Path(temp) / "target"
        shutil.copytree(binding, source, ignore=shutil.ignore_patterns("__pycache__", "tests"))
        subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--root-user-action=ignore", "--no-build-isolation", "--no-deps",
                        "--no-index", "--target", str(target), str(source)], check=True)
        installed = sorted(p.name for p in (target / "stagemark").iterdir() if p.name != "__pycache__")
        print("installed:", " ".join(installed))
        expected = ["__init__.py", "_errors.py", "_native.py", "_station.py", "py.typed"]
        return 0 if installed == expected else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
