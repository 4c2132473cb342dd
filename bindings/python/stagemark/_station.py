"""The station layer: the link and the test handle as context managers that always close."""
import ctypes
import enum
from typing import Optional, Union

from ._errors import StagemarkError
from ._native import BSN_TEXT_SIZE, STAGE_NAMES, WorkingCopy, load


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


class TestHandle:
    """The phone's record read once; statuses and the BSN come from the working copy, and
    each recorded result is written to the phone at once. Use it in a with statement: it
    is closed on every path, so it can never carry this phone's record onto the next."""

    def __init__(self, lib: ctypes.CDLL, port: int) -> None:
        self._lib, self._port = lib, port
        self._copy: Optional["ctypes._Pointer[WorkingCopy]"] = None
        self.bsn = ""

    def __enter__(self) -> "TestHandle":
        copy = self._lib.OpenTestHandle()
        if not copy:
            raise StagemarkError("read", f"reading the phone's record on COM{self._port} failed: the phone did not "
                                         "hand it over, or a test handle is still open in this process; check the "
                                         "phone is on the port and close every handle")
        self._copy = copy
        buffer = ctypes.create_string_buffer(BSN_TEXT_SIZE)
        self._lib.GetBsnStr(buffer)
        self.bsn = buffer.value.decode("ascii", "replace")
        if not _is_ten_digits(self.bsn):
            self.close()
            raise StagemarkError("check", f"the phone's record on COM{self._port} has the BSN {self.bsn!r}, not ten "
                                          "digits: it looks never written or damaged, and nothing was written; have "
                                          "the BSN station write it first")
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    def close(self) -> None:
        if self._copy is not None:
            self._lib.CloseTestHandle()
            self._copy = None

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


# The library holds one link per process, as the vendor's link library does: a second one
# opened beside it would take over the first's phone.
_open_link: Optional["Link"] = None


class Link:
    """The serial link to the phone on a port: InitTat, DetectMobile when `detect` is
    given (its value is the vendor driver's own setting), and ExitTat on leaving, even
    on an exception. One link at a time in a process; make every call of it from one thread."""

    def __init__(self, port: int, detect: Optional[int] = None,
                 library: Union[None, str, ctypes.CDLL] = None) -> None:
        self.port = _port_number(port)
        self._detect = _detect_value(detect)
        if library is not None and not isinstance(library, (str, ctypes.CDLL)):
            raise StagemarkError("argument", f"library {library!r} is neither a path nor a loaded library")
        self._lib = library if isinstance(library, ctypes.CDLL) else load(library)
        self._open = False

    def __enter__(self) -> "Link":
        global _open_link
        if _open_link is not None:
            raise StagemarkError("argument", f"a link is already open in this process, on COM{_open_link.port}: the "
                                             "library holds one link per process; leave its with statement first")
        if not self._lib.InitTat(self.port):
            raise StagemarkError("open", f"opening the link on COM{self.port} failed: the port does not exist or "
                                         "another program holds it; check the port number")
        self._open = True
        _open_link = self
        if self._detect is not None and not self._lib.DetectMobile(self._detect):
            self.close()
            raise StagemarkError("detect", f"detecting the phone on COM{self.port} failed: the driver found no "
                                           "phone; check it is connected and powered")
        return self

    def __exit__(self, kind: object, *rest: object) -> None:
        closed = self.close()
        if not closed and kind is None:
            raise StagemarkError("close", f"closing the link on COM{self.port} failed: reconnect the phone before "
                                          "the next station runs")

    def close(self) -> bool:
        global _open_link
        if not self._open:
            return True
        self._open = False
        if _open_link is self:
            _open_link = None
        return bool(self._lib.ExitTat(self.port))

    def open_handle(self) -> TestHandle:
        """The test handle on this link's phone, for a with statement."""
        return TestHandle(self._lib, self.port)

    def record_direct(self, stage: StageLike, passed: bool) -> None:
        """Records the stage straight into the phone's record, in one call. The record is
        first checked through a handle opened and closed here, so a never-written record
        is refused, and so is a handle left open (its next result would undo this one)."""
        name = Stage.of(stage).value
        verdict = _verdict(passed)
        with self.open_handle():
            pass
        if not getattr(self._lib, f"R_{name}_{'Pass' if verdict else 'Fail'}")():
            raise StagemarkError("record", f"recording {name} on the phone on COM{self.port} failed: the record "
                                           "could not be read or written back; check the phone and record it again")
