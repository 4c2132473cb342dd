"""The Python binding against the native library and the desk's stand-ins.

Environment: STAGEMARK_LIBRARY (the library) and STAGEMARK_PHONE_TOOL (the desk command).
"""
import collections
import ctypes
import os
import pathlib
import subprocess
import sys
import zlib

import pytest

import stagemark
from stagemark import _native

PHONE_TOOL = os.environ["STAGEMARK_PHONE_TOOL"]
PORT = 3
RECORD_SIZE = 1036
BSN_OFFSET = 789  # where the record keeps the BSN, five bytes of packed BCD
# The stand-ins' operations, in their order in the call log's counts.
DRIVER_OPS = ("tls", "open", "init", "detect", "read", "write", "close", "free")


def phone_file_with_bsn(folder, bsn_bytes):
    """The desk's phone file on PORT, its record's BSN replaced and its check made anew."""
    path = folder / f"port{PORT}.phone"
    record = bytearray(path.read_bytes()[:RECORD_SIZE])
    record[BSN_OFFSET:BSN_OFFSET + 5] = bsn_bytes
    path.write_bytes(bytes(record) + zlib.crc32(record).to_bytes(4, "little"))
    return path


@pytest.fixture
def desk(tmp_path, monkeypatch):
    """A desk of its own with a new phone on PORT."""
    monkeypatch.setenv("STAGEMARK_SIM_DIR", str(tmp_path))

    def phone(*args):
        result = subprocess.run([PHONE_TOOL, *map(str, args)], capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr
        return result.stdout

    phone("insert", "--port", PORT, "--bsn", "1234509876")
    library = _native.load()
    is_open = library["sim_link_is_open"]
    is_open.restype, is_open.argtypes = ctypes.c_int, [ctypes.c_int]
    yield phone
    # The library's test handle and the link belong to the process: what a failed test left
    # open must not refuse the next test's phone.
    library.CloseTestHandle()
    for port in (PORT, PORT + 1):
        if is_open(port):
            library.ExitTat(port)


@pytest.fixture
def driver_calls():
    """The stand-ins' count of each operation this process has made so far: a difference of
    two snapshots is what the code between them did on the link."""
    count = _native.load()["sim_op_count"]
    count.restype, count.argtypes = ctypes.c_ulong, [ctypes.c_int]
    return lambda: collections.Counter({op: count(index) for index, op in enumerate(DRIVER_OPS)})


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
        b"\xff" * 1036 + zlib.crc32(b"\xff" * 1036).to_bytes(4, "little")), "check",
     "has never been written, and nothing was written to it; the phone's BSN must be written to the phone before "
     "any station records a stage"),
    (lambda folder: phone_file_with_bsn(folder, bytes.fromhex("12345abcde")), "check",
     "not ten decimal digits: the record is damaged"),
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
                                       {"detect": 2**31}, {"detect": -2**31 - 1}, {"detect": 1.5},
                                       {"detect": True}, {"library": 123}])
def test_link_arguments_it_cannot_take_are_refused_before_the_link_opens(desk, driver_calls, arguments):
    before = driver_calls()
    with pytest.raises(stagemark.StagemarkError) as failure:
        with stagemark.Link(PORT, **arguments):
            pass
    assert failure.value.step == "argument"
    assert driver_calls() == before  # InitTat never ran
    with stagemark.Link(PORT):
        pass  # the port was never taken


@pytest.mark.parametrize("second_port", [PORT + 1, PORT])
def test_a_second_link_in_one_process_is_refused_and_marks_no_phone(desk, driver_calls, second_port):
    desk("insert", "--port", PORT + 1, "--bsn", "2222222222")
    with stagemark.Link(PORT) as first:
        before = driver_calls()
        with pytest.raises(stagemark.StagemarkError) as failure:
            with stagemark.Link(second_port):
                pass
        assert failure.value.step == "open"
        assert f"already open in this process, on COM{PORT}" in str(failure.value)
        assert driver_calls() == before  # refused before anything reached the library
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


def test_a_library_the_station_loaded_itself_is_declared_before_use(desk):
    loaded = ctypes.CDLL(os.environ["STAGEMARK_LIBRARY"])  # a new handle: none of its functions declared
    with stagemark.Link(PORT, library=loaded) as link, link.open_handle() as phone:
        assert phone.bsn == "1234509876"
        assert len(phone.working_copy) == _native.TEST_HANDLE_SIZE  # the whole address, not one cut to an int


def test_a_library_without_the_exports_is_refused_before_the_link_opens(desk, driver_calls):
    before = driver_calls()
    with pytest.raises(stagemark.StagemarkError) as failure:
        stagemark.Link(PORT, library=ctypes.CDLL(None))
    assert failure.value.step == "load"
    assert "InitTat" in str(failure.value) and "full path" in str(failure.value)
    assert driver_calls() == before  # InitTat never ran


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


def test_a_link_whose_close_failed_stays_the_one_link_until_it_closes(desk):
    desk("fault", "--port", PORT, "close", "--once")
    link = stagemark.Link(PORT)
    with pytest.raises(stagemark.StagemarkError) as failure:
        with link:
            pass
    assert failure.value.step == "close"
    # The serial link may still hold the phone: a second link would take it over.
    with pytest.raises(stagemark.StagemarkError) as refused:
        with stagemark.Link(PORT + 1):
            pass
    assert refused.value.step == "open" and "close() again" in str(refused.value)
    assert link.close()
    with stagemark.Link(PORT) as again, again.open_handle() as phone:
        assert phone.bsn == "1234509876"


def test_closing_the_link_closes_a_handle_left_open(desk, tmp_path, driver_calls):
    desk("insert", "--port", PORT + 1, "--bsn", "2222222222")
    with stagemark.Link(PORT) as link:
        link.open_handle().__enter__()  # never left: the station forgot it
    before = driver_calls()
    with stagemark.Link(PORT + 1) as link:
        with link.open_handle() as other:
            assert other.bsn == "2222222222"
            other.record("BT", passed=True)
    with stagemark.Link(PORT) as link, link.open_handle() as first:
        assert first.status("BT") is stagemark.Status.NOT_RECORDED
    assert (driver_calls() - before)["write"] == 1


@pytest.mark.parametrize("arguments", [
    {"stage": "XT", "passed": True},
    {"stage": "\u0131me\u0131", "passed": True},  # upper-cases to IMEI, a stage nobody named
    {"stage": None, "passed": True},
    {"stage": "FT", "passed": "no"},
    {"stage": "FT", "passed": 1},
    {"stage": "FT", "passed": None},
])
def test_a_direct_result_with_a_wrong_argument_reaches_no_phone(desk, driver_calls, arguments):
    with stagemark.Link(PORT) as link:
        before = driver_calls()
        with pytest.raises(stagemark.StagemarkError) as failure:
            link.record_direct(**arguments)
        assert failure.value.step == "argument"
        assert driver_calls() == before


@pytest.mark.parametrize("detect", [-2**31, 2**31 - 1])
def test_detect_takes_the_whole_32_bit_range(desk, detect):
    with stagemark.Link(PORT, detect=detect) as link, link.open_handle() as phone:
        assert phone.bsn == "1234509876"


@pytest.mark.parametrize("case, spoil, step, reads, writes", [
    ("a sound record", None, None, 1, 1),
    ("a never-written BSN", lambda folder: phone_file_with_bsn(folder, b"\xff" * 5), "check", 1, 0),
    ("a handle already open", "handle", "read", 0, 0),
])
def test_a_direct_result_is_one_read_and_one_write(desk, tmp_path, driver_calls, case, spoil, step, reads, writes):
    if callable(spoil):
        spoil(tmp_path)
    with stagemark.Link(PORT) as link:
        handle = link.open_handle() if spoil == "handle" else None
        if handle is not None:
            handle.__enter__()
        before = driver_calls()
        if step is None:
            link.record_direct("LAMA", passed=False)
        else:
            with pytest.raises(stagemark.StagemarkError) as failure:
                link.record_direct("LAMA", passed=False)
            assert failure.value.step == step
        done = driver_calls() - before
        assert (done["read"], done["write"], sum(done.values())) == (reads, writes, reads + writes), case
        if handle is not None:
            assert handle.status("LAMA") is stagemark.Status.NOT_RECORDED  # the open handle's copy is untouched
            handle.close()
        if step is None:
            with link.open_handle() as phone:
                assert phone.status("LAMA") is stagemark.Status.FAILED


HOLD_A_LINK = """
import sys
import stagemark
with stagemark.Link(int(sys.argv[1])):
    print("open", flush=True)
    sys.stdin.readline()
"""


def test_a_port_held_by_another_process_names_it(desk):
    holder = subprocess.Popen([sys.executable, "-c", HOLD_A_LINK, str(PORT)], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "open\n"
        with pytest.raises(stagemark.StagemarkError) as failure:
            with stagemark.Link(PORT):
                pass
        assert failure.value.step == "open"
        assert f"COM{PORT} is in use by another program (process {holder.pid})" in str(failure.value)
    finally:
        holder.stdin.close()
        assert holder.wait(timeout=60) == 0
    with stagemark.Link(PORT):
        pass  # the holder's end let the port go, and the refusal left nothing claimed


def test_without_the_desk_the_open_failure_stays_generic():
    # The process's own global scope: no link library of the desk is in it.
    message = stagemark._station._open_failure(ctypes.CDLL(None), 7)
    assert message.startswith("opening the link on COM7 failed: the port does not exist or another program holds it")
