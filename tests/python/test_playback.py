"""Playback through ALSA's file plug-in: what the control plays lands, byte for
byte, in a file, and the player's reports come back through the control's
message queue (delivered by qelaudio.run_messages, as a host's loop would)."""
import numpy as np
import pytest
import qelaudio

RATE = 8000


def alsa_devices(tmp_path, monkeypatch):
    """Defines the device "qel_out" that plays into out.raw (and "qel_in" that
    records from in.raw) and makes ALSA read the definitions."""
    out = tmp_path / "out.raw"
    inp = tmp_path / "in.raw"
    conf = tmp_path / "extra.conf"
    conf.write_text(
        f'pcm.qel_out {{ type file slave.pcm "null" file "{out}" format "raw"\n'
        '  hint { show on description "test output" } }\n'
        f'pcm.qel_in {{ type file slave.pcm "null" file "/dev/null" infile "{inp}" format "raw"\n'
        '  hint { show on description "test input" } }\n')
    monkeypatch.setenv("ALSA_CONFIG_PATH", f"/usr/share/alsa/alsa.conf:{conf}")
    return out, inp


def choose(device, name):
    for i in range(device.Count):
        device.Num = i
        if device.Name == name:
            return
    raise AssertionError(f"{name} is not among the devices")


class Recorder:
    """Keeps the control's play events."""

    def __init__(self, control):
        self.control = control
        self.end_plays = 0
        self.positions = []

    def OnEndPlay(self):
        self.end_plays += 1

    def OnChangePlayPosition(self):
        self.positions.append(self.control.Position.PlayPosition)


@pytest.fixture
def player(control, doc, tmp_path, monkeypatch):
    out, _ = alsa_devices(tmp_path, monkeypatch)
    choose(control.Playback.Device, "qel_out")
    events = Recorder(control)
    connection = qelaudio.connect(control, events)
    yield control, doc, out, events
    connection.disconnect()


def ramp(frames, channels=1):
    """Distinct samples, so that order and channel mistakes show."""
    v = (np.arange(frames * channels) * 7 % 30000 - 15000).astype(np.int16)
    return v.reshape(frames, channels)


def play_to_end(control, events, seconds=10):
    assert qelaudio.run_messages(control, seconds, lambda: events.end_plays > 0)


def test_the_default_device_comes_first_and_test_devices_are_listed(control, tmp_path,
                                                                    monkeypatch):
    alsa_devices(tmp_path, monkeypatch)
    device = control.Playback.Device
    names = []
    for i in range(device.Count):
        device.Num = i
        names.append(device.Name)
    assert names[0] == "default"
    assert "qel_out" in names


def test_choosing_a_device_beyond_the_list_is_index_out_of_range(control):
    device = control.Playback.Device
    with pytest.raises(qelaudio.ComError) as e:
        device.Num = device.Count
    assert e.value.description == "Index out of range."


def two_markers(control, point=False, direction=None, second_play_list=0):
    markers = control.Markers
    markers.Insert(500, 300, "a", "")
    markers.Insert(2000, 400, "b", "")
    if point:
        markers.Insert(3000, 0, "point", "")  # a point marker holds nothing to play
    markers.Num = 2
    markers.PlayList = second_play_list
    if direction:
        control.Playback.Direction = direction


def left_disabled(control):
    control.Channels.Num = 0
    control.Channels.OperationEnabled = False


# (what is heard, frames x channels, selection, preparation, Play's arguments, expected)
HEARD = [
    ("forward play of a selection plays exactly its samples", (4000, 2), (1000, 3500),
     None, (1, 0), lambda s: s[1000:3500]),
    ("backward play plays the selection frames in reverse", (3000, 2), (500, 2500),
     lambda c: setattr(c.Playback, "Direction", 2), (1, 0), lambda s: s[500:2500][::-1]),
    ("play type 2 plays from the selection start past its end to the document end", (2000, 1),
     (100, 200), None, (2, 0), lambda s: s[100:]),
    ("only channels enabled for operations are played", (1600, 2), None, left_disabled, (2, 0),
     lambda s: s[:, 1]),
    ("a markers play list plays only inside its markers", (4000, 1), None,
     lambda c: two_markers(c, point=True), (2, 1),
     lambda s: np.concatenate([s[500:800], s[2000:2400]])),
    ("backward play of a markers play list walks the markers down", (4000, 1), (0, 4000),
     lambda c: two_markers(c, direction=2), (1, 1),
     lambda s: np.concatenate([s[2000:2400][::-1], s[500:800][::-1]])),
    ("a marker of another play list is not played", (4000, 1), None,
     lambda c: two_markers(c, second_play_list=2), (2, 1), lambda s: s[500:800]),
]


@pytest.mark.parametrize("shape, selection, prepare, play, expected", [h[1:] for h in HEARD],
                         ids=[h[0] for h in HEARD])
def test_what_is_played_lands_byte_for_byte_in_the_device(player, shape, selection, prepare,
                                                          play, expected):
    control, doc, out, events = player
    samples = ramp(*shape)
    doc.open(samples, rate=RATE)
    if selection:
        doc.select(*selection)
    if prepare:
        prepare(control)
    control.Play(*play)
    assert control.Status == 1
    play_to_end(control, events)
    assert control.Status == 0
    assert out.read_bytes() == np.ascontiguousarray(expected(samples)).tobytes()


def test_play_positions_rise_and_reach_the_selection_end(player):
    control, doc, out, events = player
    doc.open(ramp(4000), rate=RATE)
    doc.select(0, 4000)
    control.Play(1, 0)
    play_to_end(control, events)
    assert len(events.positions) >= 3
    assert events.positions == sorted(events.positions)
    assert events.positions[-1] == 4000


def test_end_play_fires_once_per_play(player):
    control, doc, out, events = player
    doc.open(ramp(800), rate=RATE)
    control.Play(2, 0)
    play_to_end(control, events)
    qelaudio.run_messages(control, 0.3)
    assert events.end_plays == 1
    control.Stop()
    assert events.end_plays == 1


def test_pause_holds_the_position_and_continue_plays_the_rest(player):
    control, doc, out, events = player
    samples = ramp(8000)
    doc.open(samples, rate=RATE)
    control.Play(2, 0)
    assert qelaudio.run_messages(control, 5, lambda: control.Position.PlayPosition >= 2000)
    control.Pause()
    assert control.Status == 5
    held = control.Position.PlayPosition
    qelaudio.run_messages(control, 0.3)
    assert control.Position.PlayPosition == held
    assert events.end_plays == 0
    control.Continue()
    assert control.Status == 1
    play_to_end(control, events)
    # The whole document was heard; what was sent but unheard at the pause is sent again.
    played = np.frombuffer(out.read_bytes(), np.int16)
    assert played[-(8000 - held):].tobytes() == samples[held:, 0].tobytes()


def test_play_while_paused_continues(player):
    control, doc, out, events = player
    doc.open(ramp(8000), rate=RATE)
    control.Play(2, 0)
    qelaudio.run_messages(control, 5, lambda: control.Position.PlayPosition >= 1000)
    control.Pause()
    control.Play(2, 0)
    assert control.Status == 1
    play_to_end(control, events)


def test_looping_play_wraps_and_never_ends_until_stop_which_ends_it_once(player):
    control, doc, out, events = player
    doc.open(ramp(800), rate=RATE)
    doc.select(0, 400)
    control.Play(3, 0)
    qelaudio.run_messages(control, 0.4)  # 0.4 s is eight loops of 400 frames at 8000 Hz
    assert control.Status == 1
    assert events.end_plays == 0
    control.Stop()
    assert events.end_plays == 1
    assert len(out.read_bytes()) >= 3 * 400 * 2


def test_a_missing_device_is_an_output_driver_error_and_leaves_the_control_idle(
        control, doc, tmp_path, monkeypatch):
    conf = tmp_path / "missing.conf"
    conf.write_text('pcm.qel_gone { type hw card 57 hint { show on } }\n')
    monkeypatch.setenv("ALSA_CONFIG_PATH", f"/usr/share/alsa/alsa.conf:{conf}")
    choose(control.Playback.Device, "qel_gone")
    doc.open(ramp(800), rate=RATE)
    with pytest.raises(qelaudio.ComError) as e:
        control.Play(2, 0)
    assert e.value.description == "Output Driver error."
    assert control.Status == 0


def test_play_without_a_document_does_nothing(control):
    control.Play(1, 0)
    assert control.Status == 0


def test_mixer_lines_without_a_card_count_none_and_answer_mixer_errors(control):
    lines = control.Playback.Device.DeviceLines
    if lines.Count > 0:
        pytest.skip("this machine has a mixer")
    with pytest.raises(qelaudio.ComError) as e:
        lines.Volume
    assert e.value.description == "Mixer Driver error."


def test_a_24_bit_stereo_document_plays_bit_exact(player):
    control, doc, out, events = player
    v = (np.arange(3000 * 2) * 2311 % 16000000 - 8000000).reshape(3000, 2)
    doc.open(v, rate=RATE, bits=24)
    control.Play(2, 0)
    play_to_end(control, events)
    b = np.frombuffer(out.read_bytes(), np.uint8).reshape(-1, 3).astype(np.int32)
    heard = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
    heard = np.where(heard >= 1 << 23, heard - (1 << 24), heard)
    assert np.array_equal(heard, v.reshape(-1))


def test_the_player_refuses_a_sample_size_it_cannot_play():
    player = qelaudio.Dispatch("QelAudioDXPlayer4.AudioDXPlayer")
    assert player.Init(8000, 1, 12, 0) == 8  # invalid argument


def test_the_player_answers_an_output_driver_error_to_a_write_before_init():
    player = qelaudio.Dispatch("QelAudioDXPlayer4.AudioDXPlayer")
    data = qelaudio.Dispatch("QelMediaCore3.DataBuffer")
    data.AllocateBuffer(4)
    data.DataSize = 4
    assert player.Write(data) == 20


def test_moving_the_cursor_while_playing_plays_on_from_there(player):
    control, doc, out, events = player
    samples = ramp(8000)
    doc.open(samples, rate=RATE)
    control.Play(2, 0)
    assert qelaudio.run_messages(control, 5, lambda: control.Position.PlayPosition >= 800)
    control.Position.Current = 6000
    assert control.Status == 1
    play_to_end(control, events)
    assert events.end_plays == 1
    played = out.read_bytes()
    assert played.endswith(samples[6000:].tobytes())
    assert events.positions[-1] == 8000


def test_get_audio_array_while_playing_gives_samples_just_heard(player):
    control, doc, out, events = player
    samples = ramp(16000)
    doc.open(samples, rate=RATE)
    control.Play(2, 0)
    assert qelaudio.run_messages(control, 5, lambda: control.Position.PlayPosition >= 4000)
    heard = qelaudio.audio_array(control.GetAudioArray(400))[:, 0]
    assert 0 < len(heard) <= 400
    # A stretch of the document, ending near the cursor (within a report or two).
    start = int(np.flatnonzero(samples[:, 0] == heard[0])[0])
    assert np.array_equal(samples[start:start + len(heard), 0], heard)
    control.Stop()


def test_the_player_hands_out_only_the_format_record_when_nothing_plays():
    player = qelaudio.Dispatch("QelAudioDXPlayer4.AudioDXPlayer")
    assert len(qelaudio.audio_bytes(player.GetPlayedData(100))) == 0


def test_a_selection_before_the_view_is_brought_into_view_before_playing(player):
    control, doc, out, events = player
    doc.open(ramp(16000), rate=RATE)
    control.Zoom(8000, 10000)
    doc.select(3000, 3400)
    control.Play(1, 0)
    p = control.Position
    assert p.StartView <= 3000 <= p.EndView
    assert p.EndView - p.StartView == 2000
    play_to_end(control, events)


def test_a_selection_after_the_view_is_not_played(player):
    control, doc, out, events = player
    doc.open(ramp(16000), rate=RATE)
    control.Zoom(0, 2000)
    doc.select(10000, 10400)
    control.Play(1, 0)
    assert control.Status == 0
