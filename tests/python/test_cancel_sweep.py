"""A host may call Stop from any BlockOperation: whichever block it stops at, the
document is unchanged or holds exactly what a stopped operation keeps, no file
is left behind, and a file being saved over is untouched."""
import numpy as np
import pytest
import qelaudio

from store import Document, files_in

RATE = 8000
FRAMES = 40000  # five seconds: the loops report many blocks
MAX_K = 60


def tone(frames=FRAMES):
    t = np.arange(frames)
    w = (np.sin(t * 0.011) * 8000 + (t % 89) * 13).astype(np.int16)
    return np.stack([w, -w], axis=1)


class StopAt:
    """Calls Stop from the k-th BlockOperation; counts them all."""

    def __init__(self, control, k):
        self.control, self.k, self.blocks = control, k, 0

    def OnBlockOperation(self, percent):
        self.blocks += 1
        if self.blocks == self.k:
            self.control.Stop()


def stopped_at(control, k, call):
    handler = StopAt(control, k)
    with qelaudio.connect(control, handler):
        call()
    return handler.blocks >= k  # whether the stop happened


def prepared(control, tmp_path):
    doc = Document(control, tmp_path)
    doc.open(tone())
    doc.select(8000, 32000)
    return doc


def snapshot(doc, folder):
    c = doc.control
    return (doc.samples().copy(), list(c.UndoList or []), doc.selection(),
            c.Position.TotalSamples, files_in(folder))


def sweep(control, tmp_path, prepare, call, check):
    """Stops at block 1, 2, ... until the operation runs to its end unstopped."""
    folder = tmp_path / "temp"
    for k in range(1, MAX_K + 1):
        doc = prepare(control, tmp_path)
        before = snapshot(doc, folder)
        stopped = stopped_at(control, k, lambda: call(doc))
        assert control.Status == 0, f"stopped at block {k}"
        if not stopped:
            return k
        check(doc, before, snapshot(doc, folder), k)
    pytest.fail(f"still stopping after {MAX_K} blocks")


def unchanged(doc, before, after, k):
    assert np.array_equal(after[0], before[0]), f"block {k}"
    assert after[1:] == before[1:], f"block {k}"


def test_a_paste_stopped_at_any_block_changes_nothing(control, tmp_path):
    def prepare(c, d):
        doc = prepared(c, d)
        doc.control.Copy()
        doc.control.Position.Selected = False
        return doc

    assert sweep(control, tmp_path, prepare, lambda doc: doc.control.Paste(), unchanged) > 2


def test_a_conversion_stopped_at_any_block_changes_nothing(control, tmp_path):
    blocks = sweep(control, tmp_path, prepared,
                   lambda doc: doc.control.ConvertSampleType.Process(11025, 1, 16, 0), unchanged)
    assert blocks > 2


def test_a_delete_stopped_at_any_block_changes_nothing(control, tmp_path):
    assert sweep(control, tmp_path, prepared, lambda doc: doc.control.DeleteSelect(),
                 unchanged) > 1


def test_an_effect_stopped_at_any_block_keeps_a_processed_start_and_the_rest_as_it_was(
        control, tmp_path):
    doc = prepared(control, tmp_path)
    original = doc.samples().copy()
    doc.control.Transform.Amplify(50)
    amplified = doc.samples().copy()
    assert not np.array_equal(amplified, original)

    def check(doc, before, after, k):
        if np.array_equal(after[0], before[0]):
            assert after[1:] == before[1:], f"block {k}: unchanged but not quite"
            return
        samples = after[0]
        assert after[1] == before[1] + [after[1][-1]], f"block {k}: one new step"
        assert after[3] == before[3], f"block {k}: the length stays"
        differs = np.nonzero(np.any(samples != amplified, axis=1))[0]
        cut = differs[0] if len(differs) else len(samples)
        assert np.array_equal(samples[cut:], original[cut:]), f"block {k}: torn at {cut}"
        assert cut >= 8000, f"block {k}: the part before the selection changed"
        assert len(files_in(tmp_path / "temp")) == len(before[4]) + 1, f"block {k}"

    assert sweep(control, tmp_path, prepared,
                 lambda doc: doc.control.Transform.Amplify(50), check) > 2


def test_a_save_stopped_at_any_block_leaves_the_named_file_untouched(control, tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    target = out / "kept.wav"
    old = b"the user's old bytes" * 500

    def prepare(c, d):
        target.write_bytes(old)
        return prepared(c, d)

    def check(doc, before, after, k):
        unchanged(doc, before, after, k)
        assert target.read_bytes() == old, f"block {k}"
        assert files_in(out) == ["kept.wav"], f"block {k}"

    blocks = sweep(control, tmp_path, prepare,
                   lambda doc: doc.control.SaveFile(str(target), False, 0, 0), check)
    assert blocks > 1
