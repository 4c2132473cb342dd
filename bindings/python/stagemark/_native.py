"""The raw layer: the library loaded, and its 46 functions declared as they are exported.

Every function is cdecl, so the library is loaded with CDLL (never WinDLL).
"""
import ctypes
import ctypes.util
import os
import pathlib
import sys
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

from ._errors import StagemarkError

STAGE_NAMES = ("BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2")
TEST_HANDLE_SIZE = 819
BSN_TEXT_SIZE = 11

WorkingCopy = ctypes.c_ubyte * TEST_HANDLE_SIZE
_FILE_NAME = "stagemark.dll" if sys.platform == "win32" else "libstagemark.so"


def _exports() -> Dict[str, Tuple[List[Any], Any]]:
    """Each export's argument types and result type."""
    exports: Dict[str, Tuple[List[Any], Any]] = {
        "InitTat": ([ctypes.c_ubyte], ctypes.c_int),
        "DetectMobile": ([ctypes.c_int], ctypes.c_int),
        "ExitTat": ([ctypes.c_ubyte], ctypes.c_int),
        # The working copy's address: a pointer, never cut to an int.
        "OpenTestHandle": ([], ctypes.POINTER(WorkingCopy)),
        "CloseTestHandle": ([], None),
        "GetBsnStr": ([ctypes.c_char_p], ctypes.c_int),
    }
    for stage in STAGE_NAMES:
        for name in (f"{stage}_Pass", f"{stage}_Fail", f"{stage}_Status", f"R_{stage}_Pass", f"R_{stage}_Fail"):
            exports[name] = ([], ctypes.c_int)
    return exports


def declare(lib: ctypes.CDLL) -> ctypes.CDLL:
    """Gives each export its argument and result types; a wrong one fails on the line. A
    library without them is not stagemark's: refused before any call reaches it."""
    exports = _exports()
    missing = [name for name in exports if not hasattr(lib, name)]
    if missing:
        given = repr(lib._name) if lib._name else "of the program itself, ctypes.CDLL(None),"
        raise StagemarkError("load", f"the library {given} is not stagemark's: it lacks {len(missing)} of its "
                                     f"{len(exports)} exports, {', '.join(missing[:3])} among them; pass "
                                     f"ctypes.CDLL(PATH) with the full path of {_FILE_NAME}, or the path itself as "
                                     "library=PATH")
    for name, (argtypes, restype) in exports.items():
        function = getattr(lib, name)
        function.argtypes, function.restype = argtypes, restype
    return lib


def desk_function(lib: ctypes.CDLL, name: str, restype: Any,
                  argtypes: Sequence[Any]) -> Optional[Callable[..., Any]]:
    """A function of the desk's stand-in link library (sl), which knows who holds a port and
    why an open failed; None with the vendor's, which has no such function."""
    try:
        if sys.platform == "win32":
            kernel32 = ctypes.WinDLL("kernel32")
            kernel32.GetModuleHandleW.argtypes, kernel32.GetModuleHandleW.restype = [ctypes.c_wchar_p], ctypes.c_void_p
            module = kernel32.GetModuleHandleW("sl.dll")  # loaded with stagemark.dll; never loaded here
            if not module:
                return None
            source = ctypes.CDLL("sl.dll", handle=module)
        else:
            source = lib  # a lookup on the library's handle searches the libraries it loaded too
        function = source[name]
    except (AttributeError, OSError):
        return None
    function.restype, function.argtypes = restype, list(argtypes)
    return function


def check_process_fits(platform: str, maxsize: int) -> None:
    """stagemark.dll is 32-bit: a 64-bit Python on Windows cannot load it."""
    if platform == "win32" and maxsize > 2**32:
        raise StagemarkError("load", "this is a 64-bit Python, and stagemark.dll is a 32-bit DLL: run the station "
                                     "under a 32-bit (x86) Python")


def candidates(explicit: Optional[str]) -> Sequence[str]:
    """Where the library is looked for: the path given, STAGEMARK_LIBRARY, beside the
    package, then the system's search."""
    found = [explicit, os.environ.get("STAGEMARK_LIBRARY") or None, str(pathlib.Path(__file__).parent / _FILE_NAME)]
    return [c for c in found if c] + [ctypes.util.find_library("stagemark") or _FILE_NAME]


def _open(path: str) -> ctypes.CDLL:
    folder = os.path.dirname(os.path.abspath(path)) if os.path.dirname(path) else ""
    if sys.platform == "win32" and folder:
        # sl.dll and dv.dll beside stagemark.dll are found from its own folder.
        os.add_dll_directory(folder)
    return ctypes.CDLL(os.path.abspath(path) if folder else path)


def load(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library and declares its functions, from the first place in `candidates`:
    a path given or set must load; beside the package counts only where the file is."""
    check_process_fits(sys.platform, sys.maxsize)
    for place in candidates(path):
        named = place in (path, os.environ.get("STAGEMARK_LIBRARY")) or not os.path.dirname(place)
        if not named and not os.path.exists(place):
            continue
        try:
            return declare(_open(place))
        except OSError as error:
            raise StagemarkError("load", f"loading {place} failed: {error}; keep {_FILE_NAME} with the serial-link "
                                         "and phone-driver libraries beside it, and name it by its full path") from error
    raise StagemarkError("load", f"{_FILE_NAME} was not found; give its path or set STAGEMARK_LIBRARY")
