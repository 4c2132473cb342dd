"""The station layer: the link and the test handle as context managers that always close."""
import ctypes
import enum
import threading
from typing import Optional, Union

from ._errors import StagemarkError
from ._native import BSN_TEXT_SIZE, STAGE_NAMES, WorkingCopy, declare, desk_function, load


class Status(enum.IntEnum):
    """A stage's status as the phone's record holds it."""

    NOT_RECORDED = 0
    PASSED = 1
    FAILED = 2


class Stage(enum.Enum):
    """The eight test stages, in the record's order."""

    BSN = "BSN"
    BT = "BT"
    CT = "CT"
    LAMA = "LAMA"
    FT = "FT"
    IMEI = "IMEI"
    RES1 = "RES1"
    RES2 = "RES2"

    @classmethod
    def of(cls, stage: Union["Stage", str]) -> "Stage":
        """A stage from its enum member or its name, in any case."""
        if isinstance(stage, Stage):
            return stage
        # ASCII only: "ımeı".upper() is "IMEI", and would record a stage nobody named.
        if isinstance(stage, str) and stage.isascii() and stage.upper() in STAGE_NAMES:
            return cls(stage.upper())
        raise StagemarkError("argument", f"unknown stage {stage!r} (stages: {' '.join(STAGE_NAMES)})")


StageLike = Union[Stage, str]


def _port_number(port: object) -> int:
    # The library takes one byte: 257 would wrap to COM1 and mark another phone.
    if isinstance(port, bool) or not isinstance(port, int) or not 0 <= port <= 255:
        raise StagemarkError("argument", f"port {port!r} is not a number from 0 to 255")
    return port


def _verdict(passed: object) -> bool:
    # Any truthy value would record a pass: "no" and "False" among them.
    if not isinstance(passed, bool):
        raise StagemarkError("argument", f"the verdict {passed!r} is not True or False; pass passed=True or False")
    return passed


def _detect_value(detect: object) -> Optional[int]:
    # The driver takes a 32-bit int: a larger one would reach it cut to its low bits.
    if detect is None:
        return None
    if isinstance(detect, bool) or not isinstance(detect, int) or not -2**31 <= detect < 2**31:
        raise StagemarkError("argument", f"detect {detect!r} is not a 32-bit integer (the driver's setting)")
    return detect


def _is_ten_digits(bsn: str) -> bool:
    return len(bsn) == 10 and bsn.isascii() and bsn.isdigit()


_ERASED_BSN = "ffffffffff"  # flash that was never written reads 0xFF


def _untrusted_record(port: int, bsn: str) -> str:
    if bsn == _ERASED_BSN:
        return (f"the phone's record on COM{port} has the BSN {bsn!r}, as erased flash reads: the record has never "
                "been written, and nothing was written to it; the phone's BSN must be written to the phone before "
                "any station records a stage")
    return (f"the phone's record on COM{port} has the BSN {bsn!r}, not ten decimal digits: the record is damaged, "
            "and nothing was written to it; check the phone's record with the vendor's tool: its BSN must be ten "
            "decimal digits before any station records a stage")


def _open_failure(lib: ctypes.CDLL, port: int) -> str:
    """Why the link did not open: the desk's stand-in link library knows the port's holder;
    with the vendor's, only that the open failed."""
    problem = desk_function(lib, "sim_port_problem", ctypes.c_size_t, [ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t])
    if problem is not None:
        text = ctypes.create_string_buffer(4096)
        if problem(port, text, len(text)) > 0:
            return f"opening the link on COM{port} failed: {text.value.decode('utf-8', 'replace')}"
    holder = desk_function(lib, "sim_port_holder", ctypes.c_long, [ctypes.c_int])
    process = holder(port) if holder is not None else 0
    if process > 0:
        return (f"opening the link on COM{port} failed: COM{port} is in use by another program (process {process}); "
                "wait until it ends or closes the link, then open it again")
    return (f"opening the link on COM{port} failed: the port does not exist or another program holds it; check the "
            f"port number, and close any other program that uses COM{port}")


class TestHandle:
    """The phone's record read once; statuses and the BSN come from the working copy, and
    each recorded result is written to the phone at once. Use it in a with statement: it
    is closed on every path, so it can never carry this phone's record onto the next.
    One handle at a time in a process, as the library keeps one."""

    def __init__(self, lib: ctypes.CDLL, port: int, link: Optional["Link"] = None) -> None:
        self._lib, self._port, self._link = lib, port, link
        self._copy: Optional["ctypes._Pointer[WorkingCopy]"] = None
        self.bsn = ""

    def __enter__(self) -> "TestHandle":
        global _open_handle
        if self._link is not None and not self._link.is_open:
            raise StagemarkError("argument", f"the link on COM{self._port} is closed; open the test handle inside "
                                             "the link's with statement")
        if _open_handle is not None:
            # Its next recorded result would write its copy back over whatever this one records.
            raise StagemarkError("read", f"opening the test handle on COM{self._port} was refused: a test handle is "
                                         "already open in this process, and the library keeps one; record through "
                                         "that handle, or leave its with statement first")
        copy = self._lib.OpenTestHandle()
        if not copy:
            raise StagemarkError("read", f"reading the phone's record on COM{self._port} failed: the phone did not "
                                         "hand it over, or a test handle is still open in this process; check the "
                                         "phone is on the port and close every handle")
        self._copy = copy
        _open_handle = self
        try:
            buffer = ctypes.create_string_buffer(BSN_TEXT_SIZE)
            self._lib.GetBsnStr(buffer)
            self.bsn = buffer.value.decode("ascii", "replace")
            if not _is_ten_digits(self.bsn):
                raise StagemarkError("check", _untrusted_record(self._port, self.bsn))
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    def close(self) -> None:
        global _open_handle
        if self._copy is not None:
            self._lib.CloseTestHandle()
            self._copy = None
            if _open_handle is self:
                _open_handle = None

    def _open(self) -> None:
        if self._copy is None:
            raise StagemarkError("argument", "the test handle is closed; use it inside its with statement")

    @property
    def working_copy(self) -> bytes:
        """The 819-byte working copy, laid out as the header's TestHandle."""
        self._open()
        assert self._copy is not None
        return bytes(self._copy.contents)

    def status(self, stage: StageLike) -> Status:
        self._open()
        return Status(getattr(self._lib, f"{Stage.of(stage).value}_Status")())

    def record(self, stage: StageLike, passed: bool) -> None:
        """Records the stage's result and writes the whole record to the phone."""
        self._open()
        name = Stage.of(stage).value
        if not getattr(self._lib, f"{name}_{'Pass' if _verdict(passed) else 'Fail'}")():
            raise StagemarkError("record", f"writing the phone's record on COM{self._port} failed: {name} is not "
                                           "recorded on the phone; check the link and record it again")

    def passed(self, *stages: StageLike) -> bool:
        """The route check: True when every stage named passed."""
        if not stages:
            raise StagemarkError("argument", "name at least one stage to check")
        return all(self.status(stage) is Status.PASSED for stage in stages)


# The library holds one link per process, as the vendor's link library does: after a second
# InitTat every call reaches the newer port's phone, which the first link's station would then
# mark. The lock makes the check and the claim one step, so two threads cannot both open one.
_link_lock = threading.Lock()
_open_link: Optional["Link"] = None
# The test handle open in this process through the binding, if any.
_open_handle: Optional[TestHandle] = None


class Link:
    """The serial link to the phone on a port: InitTat, DetectMobile when `detect` is
    given (its value is the vendor driver's own setting), and ExitTat on leaving, even
    on an exception. The library holds one link per process: a second Link is refused
    while one is open. Make every call of it from one thread."""

    def __init__(self, port: int, detect: Optional[int] = None,
                 library: Union[None, str, ctypes.CDLL] = None) -> None:
        self.port = _port_number(port)
        self._detect = _detect_value(detect)
        if library is not None and not isinstance(library, (str, ctypes.CDLL)):
            raise StagemarkError("argument", f"library {library!r} is neither a path nor a loaded library")
        # A library loaded by the caller has its functions declared here too: undeclared,
        # OpenTestHandle's address would come back cut to an int.
        self._lib = declare(library) if isinstance(library, ctypes.CDLL) else load(library)
        self._open = False

    @property
    def is_open(self) -> bool:
        return self._open

    def __enter__(self) -> "Link":
        global _open_link
        with _link_lock:
            if _open_link is not None:
                raise StagemarkError("open", f"opening the link on COM{self.port} was refused: a link is already "
                                             f"open in this process, on COM{_open_link.port}, and the library holds "
                                             "one link per process, so a second would mark the wrong phone; "
                                             "leave that link's with statement first (if its close failed, call "
                                             "its close() again, or end the program)")
            _open_link = self  # claimed before InitTat: no other thread opens one meanwhile
        try:
            opened = self._lib.InitTat(self.port)
        except BaseException:
            self._release()
            raise
        if not opened:
            self._release()
            raise StagemarkError("open", _open_failure(self._lib, self.port))
        self._open = True
        try:
            if self._detect is not None and not self._lib.DetectMobile(self._detect):
                raise StagemarkError("detect", f"detecting the phone on COM{self.port} failed: the driver found no "
                                               "phone; check it is connected and powered")
        except StagemarkError as error:
            if self.close():
                raise
            raise StagemarkError(error.step, f"{error}; closing the link failed as well, so end the program and "
                                             "reconnect the phone before the next station runs") from error
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, kind: object, *rest: object) -> None:
        closed = self.close()
        if not closed and kind is None:
            raise StagemarkError("close", f"closing the link on COM{self.port} failed: reconnect the phone before "
                                          "the next station runs")

    def _release(self) -> None:
        global _open_link
        with _link_lock:
            if _open_link is self:
                _open_link = None

    def close(self) -> bool:
        """ExitTat; False when the link library refused to close. The link then stays this
        process's one link, which may still hold the phone, and close() may be tried again."""
        if not self._open:
            return True
        # A handle left open across the link's close would carry this phone's record onto the next.
        if _open_handle is not None:
            _open_handle.close()
        if not self._lib.ExitTat(self.port):
            return False
        self._open = False
        self._release()
        return True

    def open_handle(self) -> TestHandle:
        """The test handle on this link's phone, for a with statement."""
        return TestHandle(self._lib, self.port, self)

    def record_direct(self, stage: StageLike, passed: bool) -> None:
        """Records the stage straight into the phone's record: one read and one write on the
        link, through a handle opened and closed here. So a never-written record is refused
        before anything is written, and so is a handle left open (its next result would undo
        this one)."""
        name = Stage.of(stage).value
        verdict = _verdict(passed)
        with self.open_handle() as phone:
            phone.record(name, verdict)
