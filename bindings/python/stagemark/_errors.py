"""The one exception of the package."""


class StagemarkError(Exception):
    """A step of a station's sequence failed: `step` names it ("open", "detect", "read",
    "check", "record", "close", "load" or "argument"), the message says why and what to try."""

    def __init__(self, step: str, message: str) -> None:
        super().__init__(message)
        self.step = step
