"""Effect previews through ALSA's file plug-in: with PreviewMode on, an effect
plays its result instead of writing it, and what lands in the file is compared
with what the effect writes when it runs for real."""
import numpy as np
import pytest
import qelaudio

from test_playback import RATE, play_to_end, player, ramp  # noqa: F401 (player: the fixture)

AMPLIFY = 43


def heard(out, channels=1):
    return np.frombuffer(out.read_bytes(), np.int16).reshape(-1, channels)


def applied(control, doc, effect):
    """What the effect writes over the selection, the document then put back."""
    control.PreviewMode = 0
    start, end = doc.selection()
    effect()
    result = doc.samples()[start:end].copy()
    control.Undo(1)
    return result


def test_previewing_amplify_plays_what_it_would_write_and_changes_nothing(player):
    control, doc, out, events = player
    samples = ramp(6000, 2)
    doc.open(samples, rate=RATE)
    doc.select(1000, 5000)
    control.PreviewMode = 1
    control.Transform.Amplify(200)
    assert control.Status == AMPLIFY
    play_to_end(control, events)
    assert control.Status == 0
    assert np.array_equal(doc.samples(), samples)
    assert not control.UndoList
    assert np.array_equal(heard(out, 2),
                          applied(control, doc, lambda: control.Transform.Amplify(200)))


@pytest.mark.parametrize("mode,stereo,expect", [
    (1, False, lambda x, y: np.stack([x[:, 0], y[:, 1]], axis=1)),
    (2, False, lambda x, y: np.stack([np.zeros_like(x[:, 0]), y[:, 1]], axis=1)),
    (2, True, lambda x, y: y[:, 1:]),
])
def test_channels_outside_the_operation_play_unchanged_in_mode_1_and_silent_in_mode_2(
        player, mode, stereo, expect):
    control, doc, out, events = player
    samples = ramp(4000, 2)
    doc.open(samples, rate=RATE)
    doc.select(0, 4000)
    control.Channels.Num = 0
    control.Channels.OperationEnabled = False
    control.Playback.StereoMode = stereo
    amplified = applied(control, doc, lambda: control.Transform.Amplify(200))
    control.PreviewMode = mode
    control.Transform.Amplify(200)
    play_to_end(control, events)
    want = expect(samples, amplified)
    assert np.array_equal(heard(out, want.shape[1]), want)


def test_calling_the_effect_again_during_its_preview_changes_what_follows(player):
    control, doc, out, events = player
    samples = ramp(32000)  # four seconds: eight blocks of a preview
    doc.open(samples, rate=RATE)
    doc.select(0, 32000)
    control.Transform.SmoothEnabled = False
    control.Playback.Device.BufferCount = 2
    control.PreviewMode = 1
    control.Transform.Amplify(100)
    qelaudio.run_messages(control, 0.6)
    assert control.Status == AMPLIFY
    control.Transform.Amplify(200)
    play_to_end(control, events)
    played = heard(out)[:, 0]
    assert len(played) == 32000
    # Blocks (4000 frames) made before the call are as they were; from the next
    # one the gain glides to the new value over 10 ms (80 frames) and stays.
    boundary = int(np.flatnonzero(played != samples[:, 0])[0]) // 4000 * 4000
    assert 0 < boundary < 28000
    assert np.array_equal(played[:boundary], samples[:boundary, 0])
    assert np.array_equal(played[boundary + 80:], samples[boundary + 80:, 0] * 2)


def test_stop_ends_a_preview_with_one_end_play_and_restores_the_direction(player):
    control, doc, out, events = player
    doc.open(ramp(32000), rate=RATE)
    doc.select(0, 32000)
    control.Playback.Direction = 2
    control.PreviewMode = 1
    control.Transform.Amplify(150)
    assert control.Playback.Direction == 1  # a preview plays forward
    qelaudio.run_messages(control, 0.3)
    control.Stop()
    assert control.Status == 0
    assert events.end_plays == 1
    assert control.Playback.Direction == 2
    qelaudio.run_messages(control, 0.3)
    assert events.end_plays == 1
    assert not control.UndoList


def test_a_filter_preview_plays_the_held_back_frames_at_the_end(player):
    control, doc, out, events = player
    rng = np.random.default_rng(5)
    samples = (rng.standard_normal((12000, 1)) * 3000).astype(np.int16)
    doc.open(samples, rate=RATE)
    doc.select(0, 12000)
    fft = lambda: control.Transform.FFTFilter([-20.0, 0.0], [500.0, 2000.0], 4096, 1, 1)  # noqa
    want = applied(control, doc, fft)[:, 0].astype(int)
    control.PreviewMode = 1
    fft()
    play_to_end(control, events)
    played = heard(out)[:, 0].astype(int)
    assert len(played) == 12000
    assert np.max(np.abs(played - want)) <= 1  # block boundaries differ: one step of rounding


def test_a_reverb_preview_ends_with_its_tail_past_the_selection(player):
    control, doc, out, events = player
    samples = np.zeros((8000, 1), np.int16)
    samples[:2000, 0] = ramp(2000)[:, 0]
    doc.open(samples, rate=RATE)
    doc.select(0, 2000)
    control.PreviewMode = 1
    control.Transform.Reverb(20, 50, 50, 50, 2000, 4)
    play_to_end(control, events)
    played = heard(out)[:, 0]
    assert len(played) > 2000
    assert np.any(played[2000:] != 0)


def test_playing_at_200_percent_speed_plays_half_as_many_frames(player):
    control, doc, out, events = player
    doc.open(ramp(32000), rate=RATE)
    control.Playback.SpeedEnabled = True
    control.Playback.SpeedPercent = 200
    control.Play(2, 0)
    play_to_end(control, events)
    # The resampler's filter holds back a few milliseconds at the very end.
    assert abs(len(heard(out)) - 16000) <= 400
