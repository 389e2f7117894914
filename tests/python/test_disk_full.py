"""A disk that really fills up: the control's temporary folder and the save
target on a small tmpfs. Every operation that runs out of room reports an
error and leaves the document, its history, the named file and the folder as
they were. Mounting needs root; elsewhere these tests skip."""
import os
import subprocess

import numpy as np
import pytest
import qelaudio

from test_data_safety import MEMORY_ERROR, files_in, seen, tone


@pytest.fixture
def small_disk(tmp_path):
    """mount(name, kilobytes) gives a fresh tmpfs of that size; all are
    unmounted when the test ends."""
    mounted = []

    def mount(name, kilobytes):
        if os.geteuid() != 0:
            pytest.skip("a real full disk needs root to mount a tmpfs")
        point = tmp_path / name
        point.mkdir()
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={kilobytes}k", "tmpfs",
                               str(point)], capture_output=True, text=True)
        if done.returncode != 0:
            pytest.skip(f"cannot mount a tmpfs here: {done.stderr.strip()}")
        mounted.append(point)
        return point

    yield mount
    for point in reversed(mounted):
        subprocess.run(["umount", "-l", str(point)], check=False)


def test_pastes_that_fill_the_temporary_disk_end_in_a_memory_error_and_change_nothing(
        doc, small_disk):
    disk = small_disk("small-temp", 3 * 1024)
    doc.control.TempDirectory = str(disk) + "/"  # the folder itself, not its parent
    doc.open(tone(225_000))  # 0.9 MB of samples
    doc.select(0, 1000)
    doc.control.Copy()
    doc.control.Position.Selected = False
    for attempt in range(10):
        before = seen(doc, disk)
        try:
            doc.control.Paste()
        except qelaudio.ComError as err:
            assert err.hresult == MEMORY_ERROR
            break
    else:
        pytest.fail("ten pastes of a 0.9 MB document fitted on a 3 MB disk")
    assert attempt >= 1  # the first ones had room
    assert seen(doc, disk) == before


def test_an_effect_without_room_for_its_result_is_an_error_and_changes_nothing(doc, small_disk):
    disk = small_disk("small-temp", 512)
    doc.control.TempDirectory = str(disk) + "/"  # the folder itself, not its parent
    doc.open(tone(200_000))  # 800 KB: its new version cannot fit
    doc.select(0, 200_000)
    before = seen(doc, disk)
    with pytest.raises(qelaudio.ComError):
        doc.control.Transform.Amplify(50)
    assert seen(doc, disk) == before
    assert doc.control.Status == 0


def test_a_save_onto_a_full_disk_keeps_the_old_file_and_leaves_no_partial_one(doc, small_disk):
    disk = small_disk("target", 256)
    target = disk / "song.wav"
    original = b"the user's old song" * 1000
    target.write_bytes(original)
    doc.open(tone(10 * 44100))  # 1.7 MB as WAV
    with pytest.raises(qelaudio.ComError):
        doc.control.SaveFile(str(target), False, 0, 37)
    assert target.read_bytes() == original
    assert files_in(disk) == ["song.wav"]


def test_opening_a_file_too_large_for_the_temporary_disk_fails_and_leaves_no_file(
        doc, small_disk, tmp_path):
    source = tmp_path / "big.wav"
    doc.open(tone(5 * 44100))
    doc.control.SaveFile(str(source), False, 0, 37)
    doc.control.Close()
    disk = small_disk("small-temp", 256)
    doc.control.TempDirectory = str(disk) + "/"  # the folder itself, not its parent
    with pytest.raises(qelaudio.ComError):
        doc.control.OpenFile(str(source))
    assert [n for n in files_in(disk) if n.endswith(".qelf")] == []


def test_a_recording_that_fills_the_disk_keeps_every_whole_block_and_stop_reports_it(
        control, doc, small_disk, tmp_path, monkeypatch):
    from test_playback import RATE, alsa_devices, choose, ramp
    _, inp = alsa_devices(tmp_path, monkeypatch)
    choose(control.Recorder.Device, "qel_in")
    given = ramp(10 * RATE)[::-1].copy()
    inp.write_bytes(given.tobytes())
    disk = small_disk("small-temp", 96)  # the 40 KB copy and three one-second blocks
    control.TempDirectory = str(disk) + "/"  # the folder itself, not its parent
    source = ramp(20_000)
    doc.open(source, rate=RATE)
    control.Position.Selected = False
    control.Position.Current = 20_000
    control.Record(1)
    assert qelaudio.run_messages(control, 10, until=lambda: control.Status == 0)
    with pytest.raises(qelaudio.ComError) as err:
        control.Stop()
    assert err.value.hresult == MEMORY_ERROR
    control.Stop()  # reported once
    samples = doc.samples()
    recorded = len(samples) - 20_000
    assert recorded > 0
    assert np.array_equal(samples[:20_000], source)
    assert np.array_equal(samples[20_000:], given[:recorded])
    assert control.Position.TotalSamples == len(samples)
    assert len(control.UndoList) == 1
    assert [n for n in files_in(disk) if n.endswith(".qelf")] == [
        control.FileInfo.TempFileName.rsplit("/", 1)[1]]
