"""Copy, Cut, Paste and DeleteSelect through the interface: their undo codes,
events and clipboard file. Which samples each edit keeps (channels, smoothing,
Trim, no selection) is tested in the C++ editing suite (ClipOperationsTest);
stopping them at each block in test_cancel_sweep."""
import numpy as np
import pytest
import qelaudio

from store import ramp, read_store


class Counter:
    def __init__(self):
        self.ended = 0
        self.progress = []

    def reset(self):
        self.ended = 0
        self.progress = []

    def OnEndOperation(self):
        self.ended += 1

    def OnBlockOperation(self, percent):
        self.progress.append(percent)


@pytest.fixture
def counted(doc):
    counter = Counter()
    qelaudio.connect(doc.control, counter)
    return counter


def test_delete_select_removes_the_range_and_leaves_a_cursor(doc, counted):
    samples = ramp(1000)
    doc.open(samples)
    doc.select(100, 200)
    counted.reset()
    doc.control.DeleteSelect()
    assert np.array_equal(doc.samples(), np.concatenate([samples[:100], samples[200:]]))
    assert doc.selection() == (100, 100)
    assert doc.control.Position.Selected == 0
    assert doc.control.UndoList == [85]
    assert counted.ended == 1


def test_delete_select_of_everything_leaves_an_empty_document(doc):
    doc.open(ramp(50))
    doc.select(0, 50)
    doc.control.DeleteSelect()
    assert doc.control.Position.TotalSamples == 0
    assert doc.selection() == (0, 0)


def test_cut_moves_the_selection_to_the_clipboard_and_ends_twice(doc, counted, private_temp):
    samples = ramp(1000)
    doc.open(samples)
    doc.control.Channels.Num = 2
    doc.control.Channels.OperationEnabled = False  # Cut still takes every channel
    doc.select(300, 400)
    counted.reset()
    doc.control.Cut()
    assert np.array_equal(doc.samples(), np.concatenate([samples[:300], samples[400:]]))
    clip = read_store(private_temp / "QelClipBoard.wav")
    assert clip[0] == (44100, 2, 16)
    assert np.array_equal(clip[1], samples[300:400])
    assert counted.ended == 2


def test_paste_at_a_cursor_inserts_and_selects_the_clip(doc):
    samples = ramp(1000)
    doc.open(samples)
    doc.control.Transform.SmoothEnabled = False
    doc.select(0, 40)
    doc.control.Copy()
    doc.control.Position.Selected = False
    doc.control.Position.Current = 100
    doc.control.Paste()
    expected = np.concatenate([samples[:100], samples[:40], samples[100:]])
    assert np.array_equal(doc.samples(), expected)
    assert doc.selection() == (100, 140)
    assert doc.control.Position.Selected == 1
    assert doc.control.UndoList == [9]


def test_paste_before_anything_was_copied_is_a_file_access_error(doc):
    doc.open(ramp(10))
    with pytest.raises(qelaudio.ComError) as err:
        doc.control.Paste()
    assert err.value.hresult == 0x80040303
    assert doc.control.UndoEnabled == 0
