"""ConvertSampleType.Process as one undoable operation, and Paste of a clipboard
in another format. Undo, a mask-only change, markers and cancellation are tested
in the C++ processing suite (ConvertSampleTypeTest), default channel masks and
repeatable dither in the pcm suite (ChannelMask, DitherGenerators)."""
from store import ramp


def test_resampling_to_48000_keeps_channels_and_size(doc):
    doc.open(ramp(44100))
    c = doc.control
    c.ConvertSampleType.Process(48000, 2, 16, 3)
    info = c.FileInfo
    assert (info.SampleRate, info.Channels, info.SampleSize) == (48000, 2, 16)
    assert abs(c.Position.TotalSamples - 48000) <= 2
    assert c.UndoList == [20]
    assert info.SampleTypeChanged == -1


def test_paste_of_a_half_rate_clip_inserts_twice_its_frames(doc):
    doc.open(ramp(2205), rate=22050)
    doc.select(0, 1000)
    doc.control.Copy()
    doc.open(ramp(10000))
    doc.control.Transform.SmoothEnabled = False
    doc.control.Position.Current = 500
    doc.control.Paste()
    assert abs(doc.control.Position.TotalSamples - 12000) <= 2
