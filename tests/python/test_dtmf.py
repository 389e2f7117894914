"""Dial tones through the control: generated into the document and read back,
nothing at all while the feature is off."""
import numpy as np
import pytest

from store import markers_of

ALL = "0123456789*#abcd"


@pytest.fixture
def dtmf(doc):
    doc.control.DTMFEnabled = True
    return doc


def test_a_dial_string_of_every_symbol_is_recognised_back_without_markers(dtmf):
    rate = 44100  # other rates: the C++ dtmf suite
    dtmf.open(np.zeros(rate // 10, np.int16), rate=rate)
    dtmf.select(0, 0)
    dtmf.control.Transform.GenerateDTMFSignal(ALL, 50, ",", 200, 50, 0, None, 0, 100)
    frames = dtmf.control.Position.TotalSamples
    assert frames == pytest.approx(rate // 10 + 16 * 0.1 * rate, abs=2)
    dtmf.select(0, frames)
    dtmf.control.RecognizeDTMFSignal(0, 1)
    assert dtmf.control.GetRecognizedSymbols() == ALL
    assert dtmf.control.UndoList == [72]  # recognition takes no step
    assert dtmf.control.Markers.Count == 0  # markers only with the marker option


def test_recognition_hears_only_the_enabled_channels(dtmf):
    tones = np.zeros((8000, 2), np.int16)
    dtmf.open(tones, rate=8000)
    dtmf.select(0, 0)
    dtmf.control.Channels.Num = 2
    dtmf.control.Channels.OperationEnabled = False
    dtmf.control.Transform.GenerateDTMFSignal("159", 60, ",", 0, 60, 0, None, 0, 100)
    frames = dtmf.control.Position.TotalSamples
    dtmf.select(0, frames)
    dtmf.control.RecognizeDTMFSignal(0, 1)
    assert dtmf.control.GetRecognizedSymbols() == "159"
    # The generator works on every channel; listening to the second alone hears them too.
    dtmf.control.Channels.Num = 1
    dtmf.control.Channels.OperationEnabled = False
    dtmf.control.Channels.Num = 2
    dtmf.control.Channels.OperationEnabled = True
    dtmf.control.RecognizeDTMFSignal(0, 1)
    assert dtmf.control.GetRecognizedSymbols() == "159"


def test_nothing_happens_while_dtmf_is_off(doc):
    x = np.zeros(8000, np.int16)
    doc.open(x, rate=8000)
    doc.select(0, 0)
    doc.control.Transform.GenerateDTMFSignal("123", 50, ",", 0, 50, 0, None, 0, 100)
    assert doc.control.Position.TotalSamples == 8000
    doc.select(0, 8000)
    doc.control.RecognizeDTMFSignal(0, 1)
    assert doc.control.GetRecognizedSymbols() is None


def test_with_the_marker_option_each_symbol_is_marked_where_it_starts(dtmf):
    rate = 8000
    dtmf.open(np.zeros(rate // 10, np.int16), rate=rate)
    dtmf.select(0, 0)
    dtmf.control.Transform.GenerateDTMFSignal(ALL, 50, ",", 200, 50, 0, None, 0, 100)
    dtmf.control.SetAdditionalParam("DTMFMarkers", True)
    # From the break after the first tone on: the other fifteen, every 100 ms.
    dtmf.select(rate // 20, dtmf.control.Position.TotalSamples)
    dtmf.control.RecognizeDTMFSignal(0, 1)
    found = markers_of(dtmf.control, "Label", "Position")
    assert [label for label, _ in found] == list(ALL[1:])
    for i, (_, position) in enumerate(found, start=1):
        assert abs(position - i * rate // 10) <= rate // 100  # within one 10 ms frame
