"""Recording from ALSA's file plug-in: the samples of a file given as the
device's input land bit-exact in the document, over it, mixed into it or after
its end, as one undo step. How 8-bit samples mix and which input accumulation
keeps are tested in the C++ suites (MixSample, Accumulation)."""
import numpy as np
import pytest
import qelaudio

from store import files_in
from test_playback import RATE, alsa_devices, choose, ramp


@pytest.fixture
def recording(control, doc, tmp_path, monkeypatch):
    out, inp = alsa_devices(tmp_path, monkeypatch)
    choose(control.Recorder.Device, "qel_in")
    choose(control.Playback.Device, "qel_out")
    inp.write_bytes(ramp(5 * RATE).tobytes())  # tests that need other input write their own
    return control, doc, inp


def record_for(control, seconds, record_type=1):
    control.Record(record_type)
    assert control.Status == 2
    qelaudio.run_messages(control, seconds)
    control.Stop()
    assert control.Status == 0


def test_recording_at_the_end_appends_the_input_bit_exact(recording):
    control, doc, inp = recording
    source = ramp(2000)
    given = ramp(5 * RATE)[::-1].copy()
    inp.write_bytes(given.tobytes())
    doc.open(source, rate=RATE)
    control.Position.Current = 2000
    record_for(control, 0.4)
    samples = doc.samples()
    recorded = len(samples) - 2000
    assert recorded >= RATE // 10
    assert samples[:2000].tobytes() == source.tobytes()
    assert samples[2000:].tobytes() == given[:recorded].tobytes()


def test_recording_in_the_middle_overwrites_from_the_cursor(recording):
    control, doc, inp = recording
    source = ramp(3 * RATE)
    given = np.full((5 * RATE, 1), 1234, np.int16)
    inp.write_bytes(given.tobytes())
    doc.open(source, rate=RATE)
    control.Position.Current = 1000
    record_for(control, 0.3)
    samples = doc.samples()
    assert len(samples) == 3 * RATE  # shorter than the rest: the length stays
    written = control.Position.StartSelect - 1000
    assert written > 0
    assert samples[:1000].tobytes() == source[:1000].tobytes()
    assert (samples[1000:1000 + written] == 1234).all()
    assert samples[1000 + written:].tobytes() == source[1000 + written:].tobytes()


def test_mixing_record_adds_with_saturation(recording):
    control, doc, inp = recording
    source = np.full((3 * RATE, 1), 32767, np.int16)
    source[: RATE // 2] = -20000
    given = np.full((5 * RATE, 1), 1000, np.int16)
    inp.write_bytes(given.tobytes())
    doc.open(source, rate=RATE)
    control.Position.Current = 0
    record_for(control, 0.7, record_type=2)
    samples = doc.samples()[:, 0]
    assert (samples[: RATE // 2] == -19000).all()
    end = control.Position.StartSelect
    assert end > RATE // 2
    assert (samples[RATE // 2:end] == 32767).all()


def test_undo_after_recording_restores_the_document(recording):
    control, doc, inp = recording
    source = ramp(2000)
    doc.open(source, rate=RATE)
    control.Position.Current = 500
    record_for(control, 0.3)
    assert len(doc.samples()) > 2000
    control.Undo(1)
    assert doc.samples().tobytes() == source.tobytes()


def test_record_while_playing_does_nothing(recording):
    control, doc, inp = recording
    doc.open(ramp(4 * RATE), rate=RATE)
    control.Play(2, 0)
    control.Record(1)
    assert control.Status == 1
    control.Stop()
    assert len(doc.samples()) == 4 * RATE


def test_pause_and_continue_record_one_stretch(recording):
    control, doc, inp = recording
    doc.open(ramp(100), rate=RATE)
    control.Position.Current = 100
    control.Record(1)
    qelaudio.run_messages(control, 0.2)
    control.Pause()
    assert control.Status == 17
    control.Continue()
    assert control.Status == 2
    qelaudio.run_messages(control, 0.2)
    control.Stop()
    assert len(doc.samples()) > 100 + RATE // 10


def test_a_missing_input_device_is_an_input_driver_error_that_changes_nothing(
        control, doc, tmp_path, private_temp, monkeypatch):
    conf = tmp_path / "missing.conf"
    conf.write_text('pcm.qel_gone { type hw card 57 hint { show on } }\n')
    monkeypatch.setenv("ALSA_CONFIG_PATH", f"/usr/share/alsa/alsa.conf:{conf}")
    choose(control.Recorder.Device, "qel_gone")
    doc.open(ramp(800), rate=RATE)
    temp_before = files_in(private_temp)
    with pytest.raises(qelaudio.ComError) as e:
        control.Record(1)
    assert e.value.description == "Input Driver error."
    assert control.Status == 0
    assert control.UndoList is None  # no step taken
    assert files_in(private_temp) == temp_before  # the copy it began is gone


def test_stop_leaves_the_cursor_after_the_recording_without_a_selection(recording):
    control, doc, inp = recording
    doc.open(ramp(RATE), rate=RATE)
    doc.select(100, 300)
    control.Position.Current = 100
    record_for(control, 0.2)
    p = control.Position
    assert p.Selected == 0
    assert p.StartSelect == p.EndSelect > 100
    assert p.EndView == p.TotalSamples


def test_play_while_recording_does_nothing(recording):
    control, doc, inp = recording
    doc.open(ramp(RATE), rate=RATE)
    control.Record(1)
    control.Play(2, 0)
    assert control.Status == 2
    control.Stop()
    assert control.Status == 0


def test_get_audio_array_while_recording_gives_the_frames_recorded_last(recording):
    control, doc, inp = recording
    given = ramp(5 * RATE)[::-1].copy()
    inp.write_bytes(given.tobytes())
    doc.open(ramp(2000), rate=RATE)
    control.Position.Selected = False
    control.Position.Current = 2000
    control.Record(1)
    qelaudio.run_messages(control, 5, until=lambda: control.Position.TotalSamples > 2000)
    recorded = control.Position.TotalSamples - 2000
    heard = qelaudio.audio_array(control.GetAudioArray(100))
    control.Stop()
    assert np.array_equal(heard, given[recorded - 100:recorded])


def test_automatic_gain_lowers_a_loud_input_and_tells_the_host(recording):
    control, doc, inp = recording
    inp.write_bytes(np.full((RATE, 1), 30000, np.int16).tobytes())
    recorder = control.Recorder
    recorder.AGCEnabled = True
    recorder.AGCHighLevel = -12  # dB of full scale

    class Gains:
        values = []

        def OnGainChange(self, volume):
            self.values.append(volume)

    gains = Gains()
    doc.open(np.zeros((0, 1), np.int16), rate=RATE)
    with qelaudio.connect(control, gains):
        record_for(control, 0.5)
    samples = doc.samples()
    assert gains.values and gains.values[0] == round(100 * 10 ** (-12 / 20) * 32768 / 30000)
    assert np.abs(samples.astype(int)).max() <= round(32768 * 10 ** (-12 / 20))
