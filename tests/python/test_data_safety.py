"""Nothing of the user's is lost: a save that does not finish leaves the named
file as it was, and an edit whose write fails comes back as an error with the
document, its history and the temporary folder as they were."""
import contextlib
import resource

import numpy as np
import pytest
import qelaudio

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


def files_in(folder):
    return sorted(p.name for p in folder.iterdir())


class StopAtFirstBlock:
    def __init__(self, control):
        self.control = control

    def OnBlockOperation(self, percent):
        self.control.Stop()


def test_a_cancelled_save_leaves_the_file_it_was_saving_over_untouched(doc, tmp_path):
    target = tmp_path / "keep.wav"
    original = b"RIFF-not-really-but-the-users-bytes" * 1000
    target.write_bytes(original)
    doc.open(tone(20 * 44100))
    connection = qelaudio.connect(doc.control, StopAtFirstBlock(doc.control))
    doc.control.SaveFile(str(target), False, 0, 37)
    del connection
    assert target.read_bytes() == original
    assert files_in(tmp_path).count("keep.wav") == 1
    assert [n for n in files_in(tmp_path) if "keep.wav" in n] == ["keep.wav"]


def test_a_save_that_cannot_be_written_leaves_the_old_file_and_no_partial_one(doc, tmp_path):
    target = tmp_path / "keep.wav"
    original = b"x" * 4096
    target.write_bytes(original)
    doc.open(tone(10 * 44100))
    with file_size_limit(200_000), pytest.raises(qelaudio.ComError):
        doc.control.SaveFile(str(target), False, 0, 37)
    assert target.read_bytes() == original
    assert [n for n in files_in(tmp_path) if "keep.wav" in n] == ["keep.wav"]


def test_a_finished_save_replaces_the_file(doc, tmp_path):
    target = tmp_path / "out.wav"
    target.write_bytes(b"old")
    doc.open(tone(1000))
    doc.control.SaveFile(str(target), False, 0, 37)
    assert target.stat().st_size > 4000
    assert [n for n in files_in(tmp_path) if "out.wav" in n] == ["out.wav"]


@pytest.mark.parametrize("edit", ["Paste", "DeleteSelect", "Cut"])
def test_an_edit_whose_write_fails_is_a_memory_error_and_changes_nothing(
        doc, private_temp, edit):
    samples = tone(250_000)  # 1 MB of sample data
    doc.open(samples)
    doc.select(1000, 21000)
    doc.control.Copy()
    if edit == "Paste":
        doc.control.Position.Selected = False  # an insertion: the document grows
    before = (doc.samples().copy(), doc.control.Position.TotalSamples, doc.selection(),
              doc.control.UndoList, files_in(private_temp))

    # The new version of the document cannot be completed: it needs more room
    # than the "disk" has left, while the old one stays readable.
    limit = {"Paste": 1_040_000, "DeleteSelect": 500_000, "Cut": 500_000}[edit]
    with file_size_limit(limit), pytest.raises(qelaudio.ComError) as err:
        getattr(doc.control, edit)()
    assert err.value.hresult == MEMORY_ERROR
    after = (doc.samples(), doc.control.Position.TotalSamples, doc.selection(),
             doc.control.UndoList, files_in(private_temp))
    assert np.array_equal(after[0], before[0])
    assert after[1:] == before[1:]


def test_a_trim_whose_write_fails_answers_success_and_changes_nothing(doc, private_temp):
    doc.open(tone(250_000))
    doc.select(1000, 21000)
    before = (doc.samples().copy(), doc.control.Position.TotalSamples, doc.selection(),
              doc.control.UndoList, files_in(private_temp))
    with file_size_limit(40_000):
        doc.control.Trim()  # the new 80 KB version cannot be written
    after = (doc.samples(), doc.control.Position.TotalSamples, doc.selection(),
             doc.control.UndoList, files_in(private_temp))
    assert np.array_equal(after[0], before[0])
    assert after[1:] == before[1:]
