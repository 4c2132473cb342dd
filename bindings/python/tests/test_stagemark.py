"""The Python binding against the native library and the desk's stand-ins.

Environment: STAGEMARK_LIBRARY (the library) and STAGEMARK_PHONE_TOOL (the desk command).
"""
import ctypes
import os
import pathlib
import subprocess
import zlib

import pytest

import stagemark
from stagemark import _native

PHONE_TOOL = os.environ["STAGEMARK_PHONE_TOOL"]
PORT = 3


@pytest.fixture
def desk(tmp_path, monkeypatch):
    """A desk of its own with a new phone on PORT."""
    monkeypatch.setenv("STAGEMARK_SIM_DIR", str(tmp_path))

    def phone(*args):
        result = subprocess.run([PHONE_TOOL, *map(str, args)], capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr
        return result.stdout

    phone("insert", "--port", PORT, "--bsn", "1234509876")
    return phone


def test_a_station_sequence(desk):
    with stagemark.Link(PORT, detect=0) as link:
        with link.open_handle() as phone:
            assert phone.bsn == "1234509876"
            assert phone.status("BSN") is stagemark.Status.NOT_RECORDED
            phone.record("bsn", passed=True)
            phone.record(stagemark.Stage.BT, passed=False)
            assert phone.status(stagemark.Stage.BSN) is stagemark.Status.PASSED
            assert phone.status("bt") is stagemark.Status.FAILED
            assert phone.passed("BSN") and not phone.passed("BSN", "BT")
            copy = phone.working_copy
        link.record_direct("FT", passed=True)
    # The working copy came through the pointer whole: its fields where the header puts them.
    assert len(copy) == stagemark.TEST_HANDLE_SIZE
    assert copy[780:785] == bytes.fromhex("1234509876")
    assert (copy[785], copy[786]) == (0x80, 0xC0)
    with stagemark.Link(PORT) as link, link.open_handle() as phone:
        assert phone.passed("BSN", "FT")


def test_link_and_handle_close_on_an_exception(desk):
    with pytest.raises(RuntimeError):
        with stagemark.Link(PORT) as link, link.open_handle():
            raise RuntimeError("the station's own failure")
    # A link left open would hold the port, and a handle left open would refuse the next phone.
    with stagemark.Link(PORT) as link, link.open_handle() as phone:
        assert phone.bsn == "1234509876"


@pytest.mark.parametrize("spoil, step, words", [
    (lambda folder: (folder / f"port{PORT}.phone").unlink(), "read", "reading the phone's record"),
    (lambda folder: (folder / f"port{PORT}.phone").write_bytes(
        b"\xff" * 1036 + zlib.crc32(b"\xff" * 1036).to_bytes(4, "little")), "check", "never written"),
])
def test_failures_name_the_step(desk, tmp_path, spoil, step, words):
    spoil(tmp_path)
    with stagemark.Link(PORT) as link:
        with pytest.raises(stagemark.StagemarkError) as failure:
            with link.open_handle():
                pass
        assert (failure.value.step, words in str(failure.value)) == (step, True)
        with pytest.raises(stagemark.StagemarkError) as direct:
            link.record_direct("FT", passed=True)
        assert direct.value.step == step


def test_an_erased_record_is_never_written(desk, tmp_path):
    phone_file = tmp_path / f"port{PORT}.phone"
    erased = b"\xff" * 1036 + zlib.crc32(b"\xff" * 1036).to_bytes(4, "little")
    phone_file.write_bytes(erased)
    with stagemark.Link(PORT) as link, pytest.raises(stagemark.StagemarkError):
        link.record_direct("FT", passed=True)
    assert phone_file.read_bytes() == erased


def test_link_failures(desk):
    with pytest.raises(stagemark.StagemarkError) as no_device:
        with stagemark.Link(0):
            pass
    assert no_device.value.step == "open"
    desk("remove", "--port", PORT)
    with pytest.raises(stagemark.StagemarkError) as no_phone:
        with stagemark.Link(PORT, detect=0):
            pass
    assert no_phone.value.step == "detect"
    with stagemark.Link(PORT):
        pass  # detection failed, yet the link was closed: the port is free again


@pytest.mark.parametrize("port", [-1, 256, 257, 1.0, "1", True])
def test_ports_outside_a_byte_are_refused(desk, port):
    with pytest.raises(stagemark.StagemarkError) as failure:
        stagemark.Link(port)
    assert failure.value.step == "argument"


@pytest.mark.parametrize("arguments", [{"detect": "abc"}, {"detect": 2**40}, {"detect": 2**32 + 7},
                                       {"detect": True}, {"library": 123}])
def test_link_arguments_it_cannot_take_are_refused_before_the_link_opens(desk, arguments):
    with pytest.raises(stagemark.StagemarkError) as failure:
        stagemark.Link(PORT, **arguments)
    assert failure.value.step == "argument"
    with stagemark.Link(PORT):
        pass  # the port was never taken


def test_a_second_link_in_one_process_is_refused_and_marks_no_phone(desk):
    desk("insert", "--port", PORT + 1, "--bsn", "2222222222")
    with stagemark.Link(PORT) as first:
        with pytest.raises(stagemark.StagemarkError) as failure:
            with stagemark.Link(PORT + 1):
                pass
        assert failure.value.step == "argument"
        first.record_direct("CT", passed=True)
    with stagemark.Link(PORT) as link, link.open_handle() as phone:
        assert phone.status("CT") is stagemark.Status.PASSED
    with stagemark.Link(PORT + 1) as link, link.open_handle() as other:
        assert other.status("CT") is stagemark.Status.NOT_RECORDED


@pytest.mark.parametrize("verdict", ["no", "False", 0, 1, None])
def test_a_verdict_that_is_not_a_bool_records_nothing(desk, verdict):
    with stagemark.Link(PORT) as link:
        with link.open_handle() as phone:
            with pytest.raises(stagemark.StagemarkError):
                phone.record("RES2", verdict)
            assert phone.status("RES2") is stagemark.Status.NOT_RECORDED
        with pytest.raises(stagemark.StagemarkError):
            link.record_direct("RES1", verdict)
        with link.open_handle() as phone:
            assert phone.status("RES1") is stagemark.Status.NOT_RECORDED


def test_stage_names(desk):
    with stagemark.Link(PORT) as link, link.open_handle() as phone:
        for bad in ("XT", "", None, "\u0131me\u0131"):
            with pytest.raises(stagemark.StagemarkError):
                phone.status(bad)
        with pytest.raises(stagemark.StagemarkError):
            phone.passed()
    with pytest.raises(stagemark.StagemarkError):
        phone.status("BSN")  # the handle is closed


def test_every_export_is_declared(desk):
    lib = _native.load()
    declared = ["InitTat", "DetectMobile", "ExitTat", "OpenTestHandle", "CloseTestHandle", "GetBsnStr"]
    declared += [f"{p}{s}_{k}" for s in _native.STAGE_NAMES for p, k in
                 (("", "Pass"), ("", "Fail"), ("", "Status"), ("R_", "Pass"), ("R_", "Fail"))]
    assert len(declared) == 46
    for name in declared:
        assert getattr(lib, name).argtypes is not None, name
    # A pointer result, never an int that would cut a 64-bit address.
    assert issubclass(lib.OpenTestHandle.restype, ctypes._Pointer)


def test_where_the_library_is_found(desk, tmp_path, monkeypatch):
    explicit = os.environ["STAGEMARK_LIBRARY"]
    monkeypatch.setenv("STAGEMARK_LIBRARY", str(tmp_path / "missing.so"))
    assert _native.load(explicit).InitTat  # the path given comes first
    with pytest.raises(stagemark.StagemarkError) as failure:
        _native.load()
    assert failure.value.step == "load" and "missing.so" in str(failure.value)
    assert _native.candidates(None)[0] == str(tmp_path / "missing.so")
    assert _native.candidates(None)[1] == str(pathlib.Path(_native.__file__).parent / _native._FILE_NAME)


@pytest.mark.parametrize("platform, maxsize, refused", [
    ("win32", 2**63 - 1, True), ("win32", 2**31 - 1, False), ("linux", 2**63 - 1, False)])
def test_a_64_bit_python_is_told_the_dll_is_32_bit(platform, maxsize, refused):
    if refused:
        with pytest.raises(stagemark.StagemarkError, match="64-bit Python"):
            _native.check_process_fits(platform, maxsize)
    else:
        _native.check_process_fits(platform, maxsize)
