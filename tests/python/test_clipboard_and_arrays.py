"""The system clipboard between controls, and sample arrays in and out."""
import struct

import numpy as np
import pytest
import qelaudio

from store import Document, ramp


@pytest.fixture(autouse=True)
def empty_clipboard():
    qelaudio.set_clipboard({})


def test_a_copy_reaches_another_control_in_its_format(doc, tmp_path, private_temp):
    samples = ramp(4410)
    doc.open(samples)
    doc.select(0, 4410)
    doc.control.CopyToClipboard()
    image = qelaudio.get_clipboard("audio/wav")
    assert image == qelaudio.get_clipboard("audio/x-wav")
    assert image[:4] == b"RIFF" and image[8:12] == b"WAVE"
    assert len(image) == 12 + (8 + 18) + 8 + 4410 * 4  # the 18-byte record
    other = Document(qelaudio.Dispatch("QelAudioEditor4.AudioEditor"), tmp_path)
    other.open(np.zeros((100, 1), np.int16), rate=22050)
    other.control.PasteFromClipboard()
    assert abs(other.control.Position.TotalSamples - (100 + 2205)) <= 2
    assert other.samples().shape[1] == 1
    assert other.control.UndoList == [10]
    assert not (private_temp / "QelClipBoardWindow.wav").exists()


def test_a_copy_of_a_surround_selection_carries_the_extensible_record(doc):
    doc.open(ramp(100, channels=3), mask=0x7)
    doc.select(0, 100)
    doc.control.CopyToClipboard()
    image = qelaudio.get_clipboard("audio/x-wav")
    fmt_size, tag, channels = struct.unpack_from("<IHH", image, 16)
    _, extra, valid, mask = struct.unpack_from("<HHHI", image, 34)
    assert (fmt_size, tag, channels, extra, valid, mask) == (40, 0xFFFE, 3, 22, 16, 7)


@pytest.mark.parametrize("items", [{}, {"text/plain": b"hello"}])
def test_paste_from_clipboard_without_wave_data_changes_nothing(doc, items):
    samples = ramp(200)
    doc.open(samples)
    qelaudio.set_clipboard(items)
    doc.control.PasteFromClipboard()
    assert np.array_equal(doc.samples(), samples)
    assert not doc.control.UndoList


def test_get_audio_array_near_the_end_gives_the_record_and_what_is_left(doc):
    samples = ramp(1000)
    doc.open(samples)
    doc.control.Position.Selected = 0
    doc.control.Position.Current = 900
    data = doc.control.GetAudioArray(1000)
    assert data.DataSize == 18 + 400
    assert qelaudio.audio_bytes(data) == samples[900:].tobytes()
    view = qelaudio.audio_array(data)
    assert view.dtype == np.int16 and np.array_equal(view, samples[900:])


def test_put_audio_array_replaces_a_selection_and_undo_restores_it(doc):
    samples = ramp(1000)
    doc.open(samples)
    doc.select(100, 300)
    given = np.full((50, 2), -7, np.int16)
    doc.control.PutAudioArray(qelaudio.audio_data(given))
    expected = np.concatenate([samples[:100], given, samples[300:]])
    assert np.array_equal(doc.samples(), expected)
    assert doc.control.UndoList == [4]
    doc.control.Undo(1)
    assert np.array_equal(doc.samples(), samples)


def test_put_audio_array_inserts_bytes_at_the_cursor(doc):
    samples = ramp(1000)
    doc.open(samples)
    doc.control.Position.Selected = 0
    doc.control.Position.Current = 10
    given = np.arange(8, dtype=np.int16).reshape(4, 2)
    doc.control.PutAudioArray(qelaudio.audio_data(given.tobytes()))
    assert np.array_equal(doc.samples(), np.concatenate([samples[:10], given, samples[10:]]))


def test_put_audio_array_of_a_partial_frame_is_refused(doc):
    samples = ramp(100)
    doc.open(samples)
    with pytest.raises(qelaudio.ComError) as failure:
        doc.control.PutAudioArray(qelaudio.audio_data(b"\x01\x02\x03"))
    assert failure.value.hresult == 0x80040308
    assert np.array_equal(doc.samples(), samples)
    assert not doc.control.UndoList
