"""stagemark for station programs in Python.

    import stagemark

    with stagemark.Link(1, detect=0) as link:          # InitTat, DetectMobile ... ExitTat
        with link.open_handle() as phone:              # OpenTestHandle ... CloseTestHandle
            if not phone.passed("BSN", "BT"):          # the route check
                raise SystemExit(f"phone {phone.bsn} refused")
            phone.record("FT", passed=True)            # written to the phone at once

Every failure raises StagemarkError, which names the step that failed. A record whose
BSN is not ten decimal digits (never written, or damaged) is refused when the handle opens.
The library holds one link per process, and one test handle: a second Link, or a second
handle, is refused while one is open. Wrong arguments are refused before the link opens.
"""
from ._native import STAGE_NAMES, TEST_HANDLE_SIZE, load
from ._station import Link, Stage, StagemarkError, Status, TestHandle

__all__ = ["Link", "Stage", "StagemarkError", "Status", "TestHandle", "load", "STAGE_NAMES", "TEST_HANDLE_SIZE"]
