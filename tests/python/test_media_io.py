"""Opening and saving media files through the control: formats, tracks, raw
files, markers through WAV, video kept on save, bad files, cancellation. What
other tools read back, each codec's files, raw names in any case and missing
files are tested in the C++ media suite (WavRoundTrip, LosslessFile, LossyFile,
LosslessWrite, RawFile, BadInput)."""
import os
import shutil
import subprocess

import numpy as np
import pytest
import qelaudio

from store import markers_of

FFMPEG = shutil.which("ffmpeg")
pytestmark = pytest.mark.skipif(FFMPEG is None, reason="ffmpeg makes the test media")


def ffmpeg(*args):
    subprocess.run([FFMPEG, "-nostdin", "-hide_banner", "-loglevel", "error", "-y", *args],
                   check=True)


def noise(frames, channels, bits, seed=1):
    rng = np.random.default_rng(seed)
    if bits == 8:
        return rng.integers(0, 256, (frames, channels), dtype=np.uint8)
    if bits == 24:
        return rng.integers(-(1 << 23), 1 << 23, (frames, channels), dtype=np.int32)
    dtype = np.int16 if bits == 16 else np.int32
    info = np.iinfo(dtype)
    return rng.integers(info.min, info.max, (frames, channels), dtype=dtype, endpoint=True)


@pytest.mark.parametrize("bits", [8, 16, 24, 32])
@pytest.mark.parametrize("channels, mask", [(1, 0), (2, 3), (3, 0x7), (8, 0x63F)])
def test_pcm_wav_round_trip_is_bit_exact(doc, tmp_path, bits, channels, mask):
    samples = noise(3000, channels, bits)
    doc.open(samples, rate=32000, bits=bits, mask=mask if channels > 1 else None)
    c = doc.control
    out = str(tmp_path / "out.wav")
    c.SaveFile(out, False, 0, 37)
    c.OpenFile(out, -1, 0, 0, 0, 0, 0)
    info = c.FileInfo
    assert (info.SampleRate, info.Channels, info.SampleSize) == (32000, channels, bits)
    assert info.OriginalFileType == 37
    assert info.OriginalFileName == out
    got = doc.samples()
    assert got.shape == samples.shape
    assert np.array_equal(got.astype(np.int64), samples.astype(np.int64))


def test_saving_the_selection_writes_only_it(doc, tmp_path):
    samples = noise(1000, 2, 16)
    doc.open(samples)
    doc.select(100, 400)
    out = str(tmp_path / "part.wav")
    doc.control.SaveFile(out, True, 0, 37)
    doc.control.OpenFile(out, -1, 0, 0, 0, 0, 0)
    assert np.array_equal(doc.samples(), samples[100:400])


def test_markers_survive_a_wav_round_trip(doc, tmp_path):
    doc.open(noise(44100, 2, 16), rate=44100)
    m = doc.control.Markers
    m.Insert(1000, 0, "cue", "first note")
    m.Insert(20000, 5000, "range", "second note")
    m.Num = 2
    m.Color = 0x00FF8000
    m.PlayList = 3
    out = str(tmp_path / "marked.wav")
    doc.control.SaveFile(out, False, 0, 37)
    doc.control.OpenFile(out, -1, 0, 0, 0, 0, 0)
    fields = ("Position", "Length", "Label", "Note", "Color", "PlayList")
    assert markers_of(doc.control, *fields) == [
        (1000, 0, "cue", "first note", 0x007D7DFF, 0),
        (20000, 5000, "range", "second note", 0x00FF8000, 3)]


def test_markers_save_list_of_one_writes_no_marker(doc, tmp_path):
    doc.open(noise(1000, 1, 16))
    doc.control.Markers.Insert(10, 0, "x", "")
    out = str(tmp_path / "plain.wav")
    doc.control.SaveFile(out, False, 1, 37)
    doc.control.OpenFile(out, -1, 0, 0, 0, 0, 0)
    assert doc.control.Markers.Count == 0


def test_open_converts_to_the_format_asked_for(control, tmp_path):
    path = str(tmp_path / "tone.wav")
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:duration=1:sample_rate=48000", "-ac", "2", path)
    control.OpenFile(path, -1, 0, 22050, 8, 1, 0)
    info = control.FileInfo
    assert (info.SampleRate, info.SampleSize, info.Channels) == (22050, 8, 1)
    assert info.SampleTypeChanged == -1


def test_track_numbers_beyond_the_file_fall_back(control, tmp_path):
    path = str(tmp_path / "tone.wav")
    ffmpeg("-f", "lavfi", "-i", "sine=duration=0.5", path)
    control.OpenFile(path, 5, 3, 0, 0, 0, 0)
    info = control.FileInfo
    assert (info.VideoTrack, info.HasVideo, info.AudioTrack) == (-1, 0, 0)


def test_raw_name_must_be_opened_as_raw(control, tmp_path):
    raw = tmp_path / "pcm.raw"
    raw.write_bytes(np.arange(200, dtype=np.int16).tobytes())
    with pytest.raises(qelaudio.ComError) as err:
        control.OpenFile(str(raw), -1, 0, 0, 0, 0, 0)
    assert err.value.hresult == 0x80040304
    control.OpenRawFile(str(raw), 1, 8000, 16, 2, 3)
    assert control.Position.TotalSamples == 100
    with pytest.raises(qelaudio.ComError) as err:
        control.OpenRawFile(str(tmp_path / "pcm.wav"), 1, 8000, 16, 2, 3)
    assert err.value.hresult == 0x80040304


def test_video_file_opens_with_video_and_keeps_it_on_save(control, tmp_path):
    src = str(tmp_path / "clip.mp4")
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
           "sine=frequency=440:duration=2", "-c:v", "libx264", "-c:a", "aac", "-shortest", src)
    control.OpenFile(src, 0, 0, 0, 0, 0, 0)
    assert control.FileInfo.HasVideo == -1
    with pytest.raises(qelaudio.ComError) as err:
        control.Position.Selected = True
        control.Position.EndSelect = 100
        control.DeleteSelect()  # length changes are refused with video
    assert err.value.hresult == 0x80040307
    # That every video packet is kept is checked in the C++ media suite (VideoFile).
    out = str(tmp_path / "saved.mp4")
    control.SaveFile(out, False, 0, 60)
    control.OpenFile(out, 0, 0, 0, 0, 0, 0)
    assert control.FileInfo.HasVideo == -1


@pytest.mark.parametrize("content", [b"", b"RIFF\x10\x00\x00\x00WAVEfmt ", bytes(range(256)) * 8])
def test_broken_files_raise_and_leave_no_document_and_no_file(control, tmp_path, private_temp,
                                                              content):
    bad = tmp_path / "bad.wav"
    bad.write_bytes(content)
    with pytest.raises(qelaudio.ComError) as err:
        control.OpenFile(str(bad), -1, 0, 0, 0, 0, 0)
    assert err.value.hresult in (0x80040303, 0x80040304, 0x80040306)
    assert control.FileInfo.TempFileName is None
    assert [p for p in private_temp.iterdir() if p.suffix == ".qelf"] == []


def test_save_onto_the_current_temp_file_writes_nothing(doc):
    path = doc.open(noise(100, 1, 16))
    before = os.path.getmtime(path)
    doc.control.SaveFile(doc.control.FileInfo.TempFileName, False, 0, 37)
    assert os.path.getmtime(path) == before


def test_stop_during_the_open_keeps_what_was_read(control, tmp_path):
    path = str(tmp_path / "long.wav")
    ffmpeg("-f", "lavfi", "-i", "sine=duration=20:sample_rate=8000", path)

    class Stopper:
        def OnBlockOperation(self, percent):
            if percent < 100:
                control.Stop()

    qelaudio.connect(control, Stopper())
    control.OpenFile(path, -1, 0, 0, 0, 0, 0)
    assert control.Status == 0
    assert 0 < control.Position.TotalSamples < 20 * 8000


def test_saving_in_a_format_of_the_hosts_choosing_converts(doc, tmp_path):
    doc.open(noise(8000, 2, 16), rate=16000)
    fmt = qelaudio.Dispatch("QelMediaCore3.AudioFormat")
    fmt.FormatTag, fmt.SampleRate, fmt.SampleSize, fmt.Channels, fmt.ChannelsMask = 1, 8000, 8, 1, 0
    doc.control.FileInfo.AudioFormat = fmt
    out = str(tmp_path / "small.wav")
    doc.control.SaveFile(out, False, 0, 37)
    doc.control.OpenFile(out, -1, 0, 0, 0, 0, 0)
    info = doc.control.FileInfo
    assert (info.SampleRate, info.SampleSize, info.Channels) == (8000, 8, 1)
    assert abs(doc.control.Position.TotalSamples - 4000) <= 2


def test_long_file_keeps_its_peak_overview_in_a_cache_file(control, tmp_path, private_temp):
    path = str(tmp_path / "long.wav")
    ffmpeg("-f", "lavfi", "-i", "sine=duration=75:sample_rate=44100", path)  # 3.3 million frames
    control.OpenFile(path, -1, 0, 0, 0, 0, 0)
    caches = [p for p in private_temp.iterdir() if p.name.startswith("qel") and p.suffix == ".tmp"]
    assert len(caches) == 1
    control.Close()
    assert not caches[0].exists()
