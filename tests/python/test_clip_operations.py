"""Copy, Cut, Paste, DeleteSelect and Trim on documents of known samples."""
import numpy as np
import pytest
import qelaudio

from store import read_store


def ramp(frames, channels=2):
    base = np.arange(frames, dtype=np.int32)
    return np.stack([base * (c + 1) % 30000 for c in range(channels)], axis=1).astype(np.int16)


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


def test_copy_of_one_enabled_channel_writes_a_mono_clipboard(doc, private_temp):
    samples = ramp(500)
    doc.open(samples)
    doc.control.Channels.Num = 1
    doc.control.Channels.OperationEnabled = False
    doc.select(10, 60)
    doc.control.Copy()
    clip = read_store(private_temp / "QelClipBoard.wav")
    assert clip[0] == (44100, 1, 16)
    assert np.array_equal(clip[1][:, 0], samples[10:60, 1])
    assert doc.control.UndoEnabled == 0  # copying changes nothing


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


def test_paste_over_a_selection_replaces_it(doc):
    samples = ramp(1000)
    doc.open(samples)
    doc.control.Transform.SmoothEnabled = False
    doc.select(0, 50)
    doc.control.Copy()
    doc.select(100, 300)
    doc.control.Paste()
    assert doc.control.Position.TotalSamples == 850
    assert np.array_equal(doc.samples()[100:150], samples[:50])
    assert doc.selection() == (100, 150)


def test_mono_paste_overwrites_only_the_enabled_channel(doc):
    samples = ramp(400)
    doc.open(samples)
    doc.control.Channels.Num = 2
    doc.control.Channels.OperationEnabled = False
    doc.select(0, 30)
    doc.control.Copy()  # left channel only, mono
    doc.control.Position.Selected = False
    doc.control.Position.Current = 200
    doc.control.Paste()
    out = doc.samples()
    assert len(out) == 400
    assert np.array_equal(out[200:230, 0], samples[0:30, 0])
    assert np.array_equal(out[:, 1], samples[:, 1])


def test_paste_cross_fades_over_the_smoothing_time(doc):
    rate = 1000  # 10 ms of smoothing are 10 frames
    doc.open(np.full((200, 1), 1000, dtype=np.int16), rate=rate)
    doc.select(0, 50)
    doc.control.Copy()
    doc.open(np.full((200, 1), -1000, dtype=np.int16), rate=rate)
    doc.control.Position.Current = 100
    doc.control.Paste()
    out = doc.samples()[:, 0].astype(np.int64)
    k = np.arange(10)
    w = np.sin(k * np.pi / 20)
    expected = np.trunc(1000 * w + -1000 * (1 - w))
    assert np.array_equal(out[100:110], expected)
    assert len(out) == 200 + 50 - 10  # the read-ahead is consumed by the fade


def test_paste_before_anything_was_copied_is_a_file_access_error(doc):
    doc.open(ramp(10))
    with pytest.raises(qelaudio.ComError) as err:
        doc.control.Paste()
    assert err.value.hresult == 0x80040303
    assert doc.control.UndoEnabled == 0


def test_trim_keeps_only_the_selection_selected_at_full_view(doc, counted):
    samples = ramp(1000)
    doc.open(samples)
    doc.select(100, 300)
    counted.reset()
    doc.control.Trim()
    assert np.array_equal(doc.samples(), samples[100:300])
    assert doc.selection() == (0, 200)
    p = doc.control.Position
    assert (p.StartView, p.EndView, p.Selected) == (0, 200, 1)
    assert counted.ended == 1


def test_editing_without_a_selection_does_nothing(doc, counted):
    doc.open(ramp(100))
    counted.reset()
    for member in ("Copy", "Cut", "DeleteSelect", "Trim"):
        getattr(doc.control, member)()
    assert counted.ended == 0
    assert doc.control.UndoEnabled == 0


def test_cancelling_a_long_cut_at_each_progress_event_leaves_the_document(doc, private_temp):
    rate = 8000
    samples = ramp(rate * 60)  # a minute: many ten-second blocks
    doc.open(samples, rate=rate)
    doc.select(rate * 5, rate * 50)
    events = Counter()
    qelaudio.connect(doc.control, events)
    doc.control.Cut()
    total_events = len(events.progress)
    doc.control.Undo(1)
    assert total_events > 3
    for cancel_at in range(total_events):
        seen = {"n": 0}

        class Canceller:
            def OnBlockOperation(self, percent):
                if seen["n"] == cancel_at:
                    doc.control.Stop()
                seen["n"] += 1

        connection = qelaudio.connect(doc.control, Canceller())
        before = doc.control.FileInfo.TempFileName
        doc.control.Cut()
        connection.disconnect()
        assert doc.control.Status == 0
        if doc.control.FileInfo.TempFileName != before:
            doc.control.Undo(1)  # cancelled too late to matter: it finished
        assert np.array_equal(doc.samples(), samples)
    doc.control.Close()
    leftovers = [p.name for p in private_temp.iterdir() if p.suffix == ".qelf"]
    assert leftovers == []
