"""ConvertSampleType.Process as one undoable operation, and Paste of a clipboard
in another format. Undo, a mask-only change, markers and cancellation are tested
in the C++ processing suite (ConvertSampleTypeTest)."""
import numpy as np
import pytest


def sine(frames, rate, freq=440.0, channels=2, amplitude=10000):
    t = np.arange(frames) / rate
    wave = (amplitude * np.sin(2 * np.pi * freq * t)).astype(np.int16)
    return np.repeat(wave[:, None], channels, axis=1)


def test_resampling_to_48000_keeps_channels_and_size(doc):
    doc.open(sine(44100, 44100))
    c = doc.control
    c.ConvertSampleType.Process(48000, 2, 16, 3)
    info = c.FileInfo
    assert (info.SampleRate, info.Channels, info.SampleSize) == (48000, 2, 16)
    assert abs(c.Position.TotalSamples - 48000) <= 2
    assert c.UndoList == [20]
    assert info.SampleTypeChanged == -1


def test_three_channels_without_mask_take_left_right_and_low_frequency(doc):
    doc.open(sine(1000, 44100))
    doc.control.ConvertSampleType.Process(44100, 3, 16, 0)
    assert doc.control.FileInfo.ChannelsMask == 0xB


def test_conversion_is_repeatable_bit_for_bit(doc):
    doc.open(sine(20000, 44100))
    c = doc.control
    c.ConvertSampleType.DitheringEnabled = True
    c.ConvertSampleType.Process(48000, 2, 8, 3)
    first = doc.samples()
    c.Undo(1)
    c.ConvertSampleType.Process(48000, 2, 8, 3)
    assert np.array_equal(doc.samples(), first)


def test_paste_of_a_half_rate_clip_inserts_twice_its_frames(doc):
    doc.open(sine(2205, 22050), rate=22050)
    doc.select(0, 1000)
    doc.control.Copy()
    doc.open(sine(10000, 44100))
    doc.control.Transform.SmoothEnabled = False
    doc.control.Position.Current = 500
    doc.control.Paste()
    assert abs(doc.control.Position.TotalSamples - 12000) <= 2
