"""Nothing of the user's is lost: a save that does not finish leaves the named
file as it was, and an edit whose write fails comes back as an error with the
document, its history and the temporary folder as they were. Saves and splits
failing at each file call are swept in test_fault_sweep, stopped ones in
test_cancel_sweep."""
import contextlib
import errno
import os
import resource
import socket
import subprocess
import sys

import numpy as np
import pytest
import qelaudio

from store import files_in, write_store

MEMORY_ERROR = 0x80040302


def tone(frames, channels=2):
    t = np.arange(frames)
    wave = (np.sin(t * 0.01) * 12000).astype(np.int16)
    return np.repeat(wave[:, None], channels, axis=1)


@contextlib.contextmanager
def file_size_limit(limit):
    """Writes past `limit` bytes of any file fail (EFBIG) while inside: a disk
    that fills up at a known point. Python ignores SIGXFSZ, so the write call
    reports the failure instead of the process being killed."""
    soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, hard))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))


def seen(doc, folder):
    """What the user can see of the document, its history and the temporary folder."""
    c = doc.control
    return (doc.samples().tobytes(), c.Position.TotalSamples, doc.selection(), c.UndoList,
            c.RedoList, files_in(folder))


# The new version of the document cannot be completed: it needs more room than
# the "disk" has left (bytes), while the old one stays readable. Trim answers
# success all the same.
@pytest.mark.parametrize("edit, limit, error", [
    ("Paste", 1_040_000, MEMORY_ERROR), ("DeleteSelect", 500_000, MEMORY_ERROR),
    ("Cut", 500_000, MEMORY_ERROR), ("Trim", 40_000, None)])
def test_an_edit_whose_write_fails_changes_nothing_and_but_for_trim_is_a_memory_error(
        doc, private_temp, edit, limit, error):
    doc.open(tone(250_000))  # 1 MB of sample data
    doc.select(1000, 21000)
    doc.control.Copy()
    if edit == "Paste":
        doc.control.Position.Selected = False  # an insertion: the document grows
    before = seen(doc, private_temp)
    with file_size_limit(limit):
        try:
            getattr(doc.control, edit)()
            raised = None
        except qelaudio.ComError as e:
            raised = e.hresult
    assert raised == error
    assert seen(doc, private_temp) == before


def test_pasting_an_empty_clipboard_with_smoothing_keeps_every_sample_and_takes_no_step(
        doc, private_temp):
    samples = tone(8000)
    doc.open(samples)
    write_store(private_temp / "QelClipBoard.wav", np.zeros((0, 2), np.int16))
    doc.control.Transform.SmoothEnabled = True
    doc.control.Transform.SmoothTimeBegin = 50
    doc.control.Position.Selected = False
    doc.control.Position.Current = 1000
    doc.control.Paste()
    assert np.array_equal(doc.samples(), samples)
    assert not doc.control.UndoList


@pytest.mark.parametrize("name", ["not-raw.wav", "missing.raw"])
def test_a_failed_raw_open_leaves_no_document_as_a_failed_open_does(doc, tmp_path, name):
    doc.open(tone(1000))
    with pytest.raises(qelaudio.ComError):
        doc.control.OpenRawFile(str(tmp_path / name), 1, 8000, 16, 2, 3)
    assert not doc.control.FileInfo.TempFileName
    assert doc.control.Position.TotalSamples == 0
    assert doc.control.FileInfo.OriginalVideoFormat is None


class CountEnds:
    def __init__(self):
        self.ends = 0

    def OnEndOperation(self):
        self.ends += 1


def test_a_conversion_whose_write_fails_reports_its_end_once_and_changes_nothing(
        doc, private_temp):
    samples = tone(50_000)
    doc.open(samples)
    before = (doc.control.UndoList, files_in(private_temp))
    counter = CountEnds()
    with qelaudio.connect(doc.control, counter):
        qelaudio._inject_io_fault("write", 3, errno.EIO, True)
        try:
            with pytest.raises(qelaudio.ComError):
                doc.control.ConvertSampleType.Process(22050, 1, 16, 0)
        finally:
            qelaudio._clear_io_faults()
    assert counter.ends == 1
    assert np.array_equal(doc.samples(), samples)
    assert (doc.control.UndoList, files_in(private_temp)) == before


SAVING_CHILD = r"""
import sys, numpy as np, qelaudio
sys.path.insert(0, sys.argv[3])
from store import Document
from pathlib import Path
doc = Document(qelaudio.Dispatch("QelAudioEditor4.AudioEditor"), Path(sys.argv[1]))
t = np.arange(2_000_000)
doc.open(np.stack([t % 20000, -(t % 20000)], axis=1).astype(np.int16))
doc.select(0, 1000)
doc.control.Copy()  # a version of its own besides the opened one
doc.control.DeleteSelect()

class Hang:
    def OnBlockOperation(self, percent):
        print("saving", flush=True)
        sys.stdin.readline()  # killed while waiting here

connection = qelaudio.connect(doc.control, Hang())
doc.control.SaveFile(sys.argv[2], False, 0, 0)
"""


def saving_child(tmp_path, target):
    """A control in another process, waiting in the middle of saving to target."""
    return subprocess.Popen(
        [sys.executable, "-c", SAVING_CHILD, str(tmp_path), str(target),
         os.path.dirname(__file__)],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=os.environ.copy())


def test_a_control_killed_while_saving_leaves_the_old_target_and_its_files_to_the_next(
        tmp_path, private_temp):
    target = tmp_path / "song.wav"
    target.write_bytes(b"old song" * 1000)
    (private_temp / "notes.txt").write_text("not the control's")
    child = saving_child(tmp_path, target)
    try:
        assert child.stdout.readline() == b"saving\n"
        stale = [p.name for p in private_temp.glob("qel*.qelf")]
        assert stale  # the edited version
    finally:
        child.kill()
        child.wait()
    assert target.read_bytes() == b"old song" * 1000

    qelaudio.Dispatch("QelAudioEditor4.AudioEditor")  # the next control purges
    # The clipboard file is kept: it is the user's clipboard, not a version.
    assert set(files_in(private_temp)) - {"QelClipBoard.wav"} == {"notes.txt"}


def test_the_next_save_into_a_folder_removes_what_a_killed_save_left_there_and_nothing_else(
        doc, tmp_path):
    target = tmp_path / "song.wav"
    child = saving_child(tmp_path, target)
    try:
        assert child.stdout.readline() == b"saving\n"
        assert any("qelsave" in n for n in files_in(tmp_path))  # its copy, half written
    finally:
        child.kill()
        child.wait()
    host = socket.gethostname()
    # Copies of a save still running here, and of one on another machine.
    alive = f".qelsave-{host}-{os.getpid()}-0-other.wav"
    elsewhere = ".qelsave-another-machine-1-0-song.wav"
    for name in (alive, elsewhere):
        (tmp_path / name).write_bytes(b"being written")

    doc.open(tone(1000))
    doc.control.SaveFile(str(tmp_path / "next.wav"), False, 0, 37)
    assert sorted(n for n in files_in(tmp_path) if "qelsave" in n) == sorted([alive, elsewhere])
    assert not target.exists()  # the killed save never got as far as its name
