"""Mix, MixFromFile and PasteFromFile on documents of known samples. How each
sample size sums and clips is tested in the C++ editing suite (MixSample)."""
import numpy as np
import pytest
import qelaudio

from store import write_wav


def constant(frames, value, channels=2):
    return np.full((frames, channels), value, dtype=np.int16)


def test_mix_of_a_mono_clip_changes_only_the_enabled_channel_and_keeps_the_flags(doc):
    doc.open(np.full((100, 1), 1000, dtype=np.int16))
    doc.select(0, 100)
    doc.control.Copy()
    stereo = constant(300, 10)
    doc.open(stereo)
    channels = doc.control.Channels
    channels.Num = 1
    channels.OperationEnabled = False
    doc.control.Position.Selected = 0
    doc.control.Position.Current = 50
    doc.control.Mix(100, 100)
    assert doc.control.UndoList == [11]
    after = doc.samples()
    assert np.all(after[:, 0] == 10)
    assert np.all(after[50:150, 1] == 1010)
    assert np.all(after[150:, 1] == 10) and np.all(after[:50, 1] == 10)
    channels.Num = 1
    assert channels.OperationEnabled == 0
    channels.Num = 2
    assert channels.OperationEnabled != 0


def test_mix_near_the_end_mixes_only_up_to_the_end_and_keeps_the_length(doc):
    doc.open(constant(1000, 100))
    doc.select(0, 1000)
    doc.control.Copy()
    doc.control.Position.Selected = 0
    doc.control.Position.Current = 800
    doc.control.Mix(100, 100)
    after = doc.samples()
    assert len(after) == 1000
    assert np.all(after[:800] == 100) and np.all(after[800:] == 200)


def test_mix_from_file_with_gains_100_and_0_replaces_the_selection(doc, tmp_path):
    doc.open(constant(4000, 7))
    incoming = (np.arange(6000) % 1000).astype(np.int16).reshape(3000, 2)
    path = write_wav(tmp_path / "in.wav", incoming, 44100)
    doc.select(1000, 2000)
    doc.control.MixFromFile(str(path), 100, 0)
    after = doc.samples()
    assert len(after) == 4000
    assert np.array_equal(after[1000:2000], incoming[:1000])
    assert np.all(after[:1000] == 7) and np.all(after[2000:] == 7)
    assert doc.control.UndoList == [12]


def test_mix_from_file_without_a_selection_takes_a_step_and_changes_nothing(doc, tmp_path):
    samples = constant(500, 3)
    doc.open(samples)
    path = write_wav(tmp_path / "in.wav", constant(500, 9), 44100)
    doc.control.MixFromFile(str(path), 100, 100)
    assert np.array_equal(doc.samples(), samples)
    assert doc.control.UndoList == [12]


def test_paste_from_file_converts_rate_and_channels_and_selects_the_insert(doc, tmp_path):
    doc.open(np.full((1000, 1), 5, dtype=np.int16), rate=22050)
    tone = (1000 * np.sin(np.arange(44100) * 0.01)).astype(np.int16)
    path = write_wav(tmp_path / "stereo.wav", np.stack([tone, tone], axis=1), 44100)
    doc.control.Position.Selected = 0
    doc.control.Position.Current = 400
    doc.control.PasteFromFile(str(path))
    inserted = doc.control.Position.TotalSamples - 1000
    assert abs(inserted - 22050) <= 2
    assert doc.selection() == (400, 400 + inserted)
    after = doc.samples()
    assert after.shape[1] == 1
    assert np.all(after[:400] == 5) and np.all(after[400 + inserted:] == 5)
    assert doc.control.UndoList == [10]


@pytest.mark.parametrize("kind, hresult", [("missing", 0x80040303), ("truncated", 0x80040304)])
def test_a_file_that_cannot_be_read_leaves_document_and_history(doc, tmp_path, private_temp,
                                                                  kind, hresult):
    samples = constant(300, 11)
    doc.open(samples)
    doc.select(0, 300)
    path = tmp_path / f"{kind}.wav"
    if kind == "truncated":
        whole = write_wav(tmp_path / "whole.wav", constant(300, 1), 44100).read_bytes()
        path.write_bytes(whole[:30])
    listing = sorted(p.name for p in private_temp.iterdir())
    for call in (lambda: doc.control.PasteFromFile(str(path)),
                 lambda: doc.control.MixFromFile(str(path), 100, 100)):
        with pytest.raises(qelaudio.ComError) as failure:
            call()
        assert failure.value.hresult == hresult
    assert np.array_equal(doc.samples(), samples)
    assert doc.control.UndoList is None or doc.control.UndoList == []
    assert sorted(p.name for p in private_temp.iterdir()) == listing


def test_cancelling_a_paste_from_file_keeps_the_document(doc, tmp_path):
    samples = constant(1000, 2)
    doc.open(samples, rate=8000)
    path = write_wav(tmp_path / "long.wav", constant(8000 * 5, 9, channels=1), 8000)

    class Canceller:
        def OnBlockOperation(self, percent):
            doc.control.Stop()

    with qelaudio.connect(doc.control, Canceller()):
        doc.control.PasteFromFile(str(path))
    assert np.array_equal(doc.samples(), samples)
    assert not doc.control.UndoList
