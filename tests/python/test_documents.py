"""Documents made with New and adopted with OpenFileFromTmp, and what FileInfo
reports about them. Where New puts its file, a vanished temporary folder and
header overrides are tested in the C++ editing suite (DocumentsTest); Close and
releasing the control in the core suite (History)."""
import numpy as np
import pytest
import qelaudio

from store import write_store


def test_new_reports_its_format(control):
    control.New(44100, 2, 16, 3)
    info = control.FileInfo
    assert (info.SampleRate, info.Channels, info.SampleSize, info.ChannelsMask) == (44100, 2, 16, 3)
    assert info.FormatString == "PCM 2 Channels; 44100 Hz; 16 bit"
    assert control.Position.TotalSamples == 0


def test_new_with_an_impossible_format_raises_memory_error(control):
    with pytest.raises(qelaudio.ComError) as err:
        control.New(44100, 2, 12, 3)
    assert err.value.hresult == 0x80040302
    assert err.value.description == "Memory error."


def test_new_fires_end_operation(control):
    class Events:
        ended = 0

        def OnEndOperation(self):
            Events.ended += 1

    qelaudio.connect(control, Events())
    control.New(8000, 1, 8, 0)
    assert Events.ended == 1


def test_adopted_file_takes_the_header_format(doc, tmp_path):
    doc.open(np.zeros((441, 2)), rate=44100, bits=16)
    info = doc.control.FileInfo
    assert (info.SampleRate, info.Channels, info.SampleSize) == (44100, 2, 16)
    assert doc.control.Position.TotalSamples == 441
    assert info.Duration == pytest.approx(10.0, abs=1e-9)


@pytest.mark.parametrize("field, value", [("bits", 0), ("bits", 12), ("channels", 19),
                                          ("rate", 0)])
def test_adopted_header_of_no_document_format_is_an_invalid_argument(control, tmp_path, field,
                                                                   value):
    path = write_store(tmp_path / "bad.qelf", np.zeros((10, 1)), bits=16)
    data = bytearray(path.read_bytes())
    offset, size = {"bits": (14, 2), "channels": (2, 2), "rate": (4, 4)}[field]
    data[offset:offset + size] = value.to_bytes(size, "little")
    path.write_bytes(bytes(data))
    with pytest.raises(qelaudio.ComError) as err:
        control.OpenFileFromTmp(str(path), 0, 0, 0, 0)
    assert err.value.hresult == 0x80040308
    assert control.FileInfo.TempFileName is None


@pytest.mark.parametrize("content", [None, b"\x01\x00\x02\x00\x44\xac"],
                         ids=["missing", "six bytes of an 18-byte header"])
def test_a_file_to_adopt_that_cannot_be_read_is_a_memory_error_and_leaves_no_document(
        control, tmp_path, content):
    path = tmp_path / "cut.qelf"
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(qelaudio.ComError) as err:
        control.OpenFileFromTmp(str(path), 0, 0, 0, 0)
    assert err.value.hresult == 0x80040302
    assert control.FileInfo.TempFileName is None


def test_adopted_file_of_the_host_survives_close(doc, tmp_path):
    path = doc.open(np.zeros((10, 1)))
    doc.control.Close()
    assert path.exists()  # not one of the control's own names
