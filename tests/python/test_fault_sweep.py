"""Every file call an operation makes may fail, one at a time: whichever fails,
the control ends up exactly as before the operation or exactly as after a
success (samples, format, history, markers, positions, temporary folder),
idle, and a host whose operation did not happen hears of it."""
import errno
import re

import numpy as np
import pytest
import qelaudio

from store import Document, files_in, markers_of, read_store, write_wav

RATE = 8000
FRAMES = 20000  # two and a half seconds: every copy loop runs several blocks
KINDS = ["open", "create", "read", "write", "seek", "rename", "truncate", "unlink", "close"]
MAX_N = 40  # the n-th call that fails goes at most this far for each kind


def tone(frames=FRAMES, channels=2):
    t = np.arange(frames)
    wave_ = (np.sin(t * 0.013) * 9000 + (t % 97) * 11).astype(np.int16)
    return np.stack([wave_, -wave_][:channels], axis=1)


def name_shapes(names):
    """File names with their random numbers blanked: what two runs share."""
    return sorted(re.sub(r"[0-9A-F]{12}", "#", n) for n in names)


def state(control, folder):
    """Everything of the document the host or the user can see."""
    c = control
    store = c.FileInfo.TempFileName
    p = c.Position
    return {
        "samples": (read_store(store)[0], read_store(store)[1].tobytes()) if store else None,
        "format": (c.FileInfo.SampleRate, c.FileInfo.Channels, c.FileInfo.SampleSize),
        "undo": list(c.UndoList or []),
        "redo": list(c.RedoList or []),
        "markers": markers_of(c, "Position", "Length", "Label"),
        "positions": (p.StartSelect, p.EndSelect, bool(p.Selected), p.StartView, p.EndView,
                      p.Current, p.TotalSamples),
        "status": c.Status,
        "files": files_in(folder),
        "clipboard": (folder / "QelClipBoard.wav").read_bytes()
        if (folder / "QelClipBoard.wav").exists() else None,
    }


def same_but_names(a, b):
    """a and b agree, temporary files by the shape of their names."""
    return ({k: v for k, v in a.items() if k != "files"} ==
            {k: v for k, v in b.items() if k != "files"} and
            name_shapes(a.get("files", [])) == name_shapes(b.get("files", [])))


# ---- the operations: each prepares its document, then does one thing ----------

def prepare_document(doc, tmp_path):
    doc.open(tone())
    doc.control.Markers.Insert(3000, 500, "one", "")
    doc.control.Markers.Insert(12000, 0, "two", "")
    doc.select(4000, 9000)


def prepare_copied(copy):
    """The document with a part of it copied by `copy` (a member's name)."""
    def prepare(doc, tmp_path):
        prepare_document(doc, tmp_path)
        doc.select(1000, 6000)
        getattr(doc.control, copy)()
        doc.select(4000, 9000)
    return prepare


prepare_clipboard = prepare_copied("Copy")


WINDOWS = {}
LONG_FRAMES = 3_100_000  # long enough for the picture to keep a peak overview


def prepare_drawn_long(doc, tmp_path):
    """A long mono document on screen: its peak overview is in memory, and an
    edit carries it into the new version with a cache file of its own."""
    t = np.arange(LONG_FRAMES)
    doc.open(((t % 5000) * 3 - 7500).astype(np.int16)[:, None])
    doc.control.Markers.Insert(1_000_000, 0, "m", "")
    doc.select(1_500_000, 1_600_000)
    window = WINDOWS.get(id(doc.control))
    if window is None:
        window = WINDOWS[id(doc.control)] = qelaudio.HeadlessWindow(doc.control, 320, 120)
    window.paint()


def prepare_nothing_open(doc, tmp_path):
    doc.control.Close()


def source_wav(tmp_path):
    path = tmp_path / "source.wav"
    if not path.exists():
        write_wav(path, tone(6000)[::-1].copy(), RATE)
    return path


def raw_file(tmp_path):
    path = tmp_path / "source.raw"
    if not path.exists():
        path.write_bytes(tone(6000).tobytes())
    return path


OPERATIONS = {
    "OpenFile": (prepare_nothing_open,
                 lambda c, d: c.OpenFile(str(source_wav(d)), -1, 0, 0, 0, 0, 0)),
    "OpenRawFile": (prepare_nothing_open,
                    lambda c, d: c.OpenRawFile(str(raw_file(d)), 1, RATE, 16, 2, 3)),
    "New": (prepare_nothing_open, lambda c, d: c.New(RATE, 2, 16, 3)),
    "Copy": (prepare_document, lambda c, d: c.Copy()),
    "Mix": (prepare_clipboard, lambda c, d: c.Mix(100, 100)),
    "Cut": (prepare_clipboard, lambda c, d: c.Cut()),
    "Paste": (prepare_clipboard, lambda c, d: c.Paste()),
    "DeleteSelect": (prepare_document, lambda c, d: c.DeleteSelect()),
    "Trim": (prepare_document, lambda c, d: c.Trim()),
    "ConvertSampleType": (prepare_document,
                          lambda c, d: c.ConvertSampleType.Process(11025, 1, 16, 0)),
    "Amplify": (prepare_document, lambda c, d: c.Transform.Amplify(150)),
    "Reverb": (prepare_document, lambda c, d: c.Transform.Reverb(20, 50, 50, 50, 5000, 4)),
    "GenerateSilence": (prepare_document, lambda c, d: c.Transform.GenerateSilence(300)),
    "MixFromFile": (prepare_document,
                    lambda c, d: c.MixFromFile(str(source_wav(d)), 100, 100)),
    "PasteFromFile": (prepare_document, lambda c, d: c.PasteFromFile(str(source_wav(d)))),
    "CopyToClipboard": (prepare_document, lambda c, d: c.CopyToClipboard()),
    "PasteFromClipboard": (prepare_copied("CopyToClipboard"), lambda c, d: c.PasteFromClipboard()),
    "PutAudioArray": (prepare_document,
                      lambda c, d: c.PutAudioArray(qelaudio.audio_data(tone(700)))),
}

SHORT_OPERATIONS = list(OPERATIONS)

# Operations that answer success when they could not be done (the document
# stays as it was).
SILENT_FAILURES = {"Trim", "ConvertSampleType"}  # the conversion: in its preparation


@pytest.fixture(autouse=True)
def no_faults_left():
    qelaudio.set_clipboard({})
    yield
    qelaudio._clear_io_faults()
    WINDOWS.clear()  # each test's control has its own window


def with_fault(kind, n, call, error=errno.EIO, persistent=False):
    """Runs call with the n-th file call of kind failing (none when kind is None);
    returns (the error raised or None, how many calls of kind were made)."""
    if kind:
        qelaudio._inject_io_fault(kind, n, error, persistent)
    try:
        call()
        return None, qelaudio._io_calls_seen(kind) if kind else 0
    except qelaudio.ComError as e:
        return e, qelaudio._io_calls_seen(kind) if kind else 0
    finally:
        qelaudio._clear_io_faults()


def run(op, doc, tmp_path, kind=None, n=0, error=errno.EIO, persistent=False):
    """Prepares, runs the operation (with the fault armed when kind is given) and
    returns (the state before, the state after, the error raised or None, calls seen)."""
    prepare, call = OPERATIONS[op]
    prepare(doc, tmp_path)
    folder = tmp_path / "temp"
    before = state(doc.control, folder)
    raised, seen = with_fault(kind, n, lambda: call(doc.control, tmp_path), error, persistent)
    return before, state(doc.control, folder), raised, seen


def calls_made(op, doc, tmp_path, kind):
    """How many calls of kind the operation makes when none fails."""
    *_, seen = run(op, doc, tmp_path, kind, n=1 << 40)
    return seen


def check_outcome(op, before, after, success, raised, where, kind=None):
    assert after["status"] == 0, where
    if kind == "unlink":
        # A file that cannot be deleted is left alone: only what the host sees
        # is compared.
        before, after, success = ({k: v for k, v in s.items() if k != "files"}
                                  for s in (before, after, success))
    if after == before:
        if op not in SILENT_FAILURES and success != before:
            assert raised is not None, f"{where}: nothing happened and no error"
        return
    differ = sorted(k for k in after if after[k] != (success if after[k] != before[k] else before)[k])
    assert same_but_names(after, success), (
        f"{where}: neither as before nor as after a success ({', '.join(differ)} differ)")


@pytest.mark.parametrize("op", sorted(SHORT_OPERATIONS))
@pytest.mark.parametrize("kind", KINDS)
def test_a_failing_file_call_leaves_the_document_as_before_or_as_after_a_success(
        op, kind, control, tmp_path):
    doc = Document(control, tmp_path)
    _, success, raised, _ = run(op, doc, tmp_path)
    assert raised is None, f"{op} fails without a fault: {raised}"
    total = calls_made(op, doc, tmp_path, kind)
    for n in range(1, min(total, MAX_N) + 1):
        before, after, raised, _ = run(op, doc, tmp_path, kind, n)
        check_outcome(op, before, after, success, raised, f"{op}, {kind} call {n} failing",
                      kind)


@pytest.mark.parametrize("op", sorted(SHORT_OPERATIONS))
def test_a_disk_that_fills_up_leaves_the_document_as_before_or_as_after_a_success(
        op, control, tmp_path):
    doc = Document(control, tmp_path)
    _, success, _, _ = run(op, doc, tmp_path)
    total = calls_made(op, doc, tmp_path, "write")
    for n in range(1, min(total, MAX_N) + 1):
        before, after, raised, _ = run(op, doc, tmp_path, "write", n, errno.ENOSPC, True)
        check_outcome(op, before, after, success, raised, f"{op}, full from write {n}")


OPERATIONS["DeleteSelect, drawn and long"] = (prepare_drawn_long, lambda c, d: c.DeleteSelect())
LONG_KINDS = ["open", "create", "write", "rename", "close"]


@pytest.mark.parametrize("kind", LONG_KINDS)
def test_an_edit_that_carries_the_peak_overview_fails_as_cleanly_as_any_other(
        kind, control, tmp_path):
    op = "DeleteSelect, drawn and long"
    doc = Document(control, tmp_path)
    _, success, raised, _ = run(op, doc, tmp_path)
    assert raised is None
    # Each version's overview has its cache file: the opened one's and the new one's.
    assert sum(n.endswith(".tmp") for n in success["files"]) == 2
    window = WINDOWS[id(control)]
    window.paint()
    window.snapshot(str(tmp_path / "success.png"))
    total = calls_made(op, doc, tmp_path, kind)
    for n in range(1, min(total, MAX_N) + 1):
        before, after, raised, _ = run(op, doc, tmp_path, kind, n)
        where = f"{kind} call {n} failing"
        # The overview's cache file is a cache: a version whose cache could not
        # be written builds its overview again when it needs one.
        caches = [n for n in after["files"] if n.endswith(".tmp")]
        assert len(caches) <= 2, where
        after["files"] = [n for n in after["files"] if not n.endswith(".tmp")]
        strip = {"files": [n for n in success["files"] if not n.endswith(".tmp")]}
        loose_before = dict(before, files=[n for n in before["files"] if not n.endswith(".tmp")])
        check_outcome(op, loose_before, after, dict(success, **strip), raised, where, kind)
        if after["undo"] == success["undo"]:  # done: the picture is the one of a success
            window.paint()
            window.snapshot(str(tmp_path / "after.png"))
            assert ((tmp_path / "after.png").read_bytes() ==
                    (tmp_path / "success.png").read_bytes()), where


# ---- files the user names or receives ------------------------------------------

@pytest.mark.parametrize("converted", [False, True], ids=["as stored", "converted"])
@pytest.mark.parametrize("kind", KINDS)
def test_a_failing_save_leaves_the_named_file_old_or_complete_and_nothing_beside_it(
        kind, converted, control, tmp_path):
    doc = Document(control, tmp_path)
    prepare_document(doc, tmp_path)
    file_type = 0
    if converted:  # the samples pass through a buffer of the control's
        fmt = qelaudio.Dispatch("QelMediaCore3.AudioFormat")
        fmt.FormatTag, fmt.SampleRate, fmt.SampleSize, fmt.Channels = 1, RATE, 24, 2
        doc.control.FileInfo.AudioFormat = fmt
        file_type = 37
    out = tmp_path / "out"
    out.mkdir()
    target = out / "song.wav"
    doc.control.SaveFile(str(target), False, 0, file_type)
    complete = target.read_bytes()
    old = b"the user's old file" * 100
    _, total = with_fault(kind, 1 << 40,
                          lambda: doc.control.SaveFile(str(out / "count.wav"), False, 0, file_type))
    (out / "count.wav").unlink()
    temp_before = files_in(tmp_path / "temp")
    for n in range(1, min(total, MAX_N) + 1):
        target.write_bytes(old)
        raised, _ = with_fault(kind, n,
                               lambda: doc.control.SaveFile(str(target), False, 0, file_type))
        where = f"{kind} call {n} failing"
        assert target.read_bytes() in (old, complete), where
        if target.read_bytes() == old:
            assert raised is not None, f"{where}: the file was not written and no error"
        assert files_in(out) == ["song.wav"], where
        assert files_in(tmp_path / "temp") == temp_before, where
        assert doc.control.Status == 0, where


@pytest.mark.parametrize("kind", KINDS)
def test_a_failing_split_announces_only_complete_pieces_and_leaves_no_other_file(
        kind, control, tmp_path):
    doc = Document(control, tmp_path)
    prepare_document(doc, tmp_path)
    folder = tmp_path / "temp"
    m = doc.control.Markers
    m.SplitFileByMarkers()
    pieces = [read_store(m.SplitFilesName(i))[1].tobytes() for i in range(m.SplitFilesCount)]
    assert len(pieces) == 4
    _, total = with_fault(kind, 1 << 40, m.SplitFileByMarkers)
    for n in range(1, min(total, MAX_N) + 1):
        before = files_in(folder)
        raised, _ = with_fault(kind, n, m.SplitFileByMarkers)
        where = f"{kind} call {n} failing"
        names = [m.SplitFilesName(i) for i in range(m.SplitFilesCount)]
        made = [read_store(name)[1].tobytes() for name in names]
        assert made == pieces[:len(made)], where
        if len(made) < len(pieces):
            assert raised is not None, f"{where}: pieces missing and no error"
        new = set(files_in(folder)) - set(before)
        announced = {name.rsplit("/", 1)[1] for name in names}
        if kind == "unlink":  # a file that cannot be deleted is left alone
            assert new >= announced, where
        else:
            assert new == announced, where
        assert doc.control.Status == 0, where
