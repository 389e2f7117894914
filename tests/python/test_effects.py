"""Effects through the control, measured on known signals: what each one does to
a sine, noise or an impulse, with the tolerance written beside it; and the
frame around them: undo steps, Stop, cancellation, channels left alone, sample
sizes, errors from the processors."""
import numpy as np
import pytest
import qelaudio

RATE = 44100
E_INVALIDARG = 0x80070057
INVALID_OPERATION = 0x80040307


def sine(freq, seconds, level=0.5, channels=1, rate=RATE):
    t = np.arange(int(seconds * rate)) / rate
    wave = np.round(np.sin(2 * np.pi * freq * t) * level * 32767).astype(np.int16)
    return np.repeat(wave[:, None], channels, axis=1)


def rms(x):
    return float(np.sqrt(np.mean(np.asarray(x, dtype=float) ** 2)))


def db(ratio):
    return 20 * np.log10(ratio)


def tone_level(x, freq, rate=RATE):
    """Amplitude of the component at freq (single-bin DFT over whole periods)."""
    x = np.asarray(x, dtype=float)
    n = int(len(x) // (rate / freq) * (rate / freq))
    t = np.arange(n) / rate
    c = np.dot(x[:n], np.exp(-2j * np.pi * freq * t))
    return 2 * abs(c) / n


def select_all(doc, frames):
    doc.select(0, frames)


@pytest.fixture
def transform(doc):
    return doc.control.Transform


# ---- level ----

def test_amplify_by_150_percent_raises_the_level_by_3_5_db(doc, transform):
    doc.open(sine(1000, 1))
    select_all(doc, RATE)
    transform.Amplify(150)
    middle = slice(RATE // 4, 3 * RATE // 4)  # away from the smoothed edges
    gain = rms(doc.samples()[middle]) / rms(sine(1000, 1)[middle])
    assert db(gain) == pytest.approx(db(1.5), abs=0.01)


def test_fade_starts_and_ends_at_its_percentages_and_ramps_monotonically(doc, transform):
    doc.open(np.full((RATE, 1), 20000, np.int16))
    doc.control.Transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Fade(100, 0, 0)
    out = doc.samples()[:, 0].astype(int)
    assert out[0] == pytest.approx(20000, abs=1)
    assert abs(out[-1]) <= 1
    assert np.all(np.diff(out) <= 0)


def test_normalize_puts_the_peak_at_the_asked_percentage_and_removes_dc(doc, transform):
    x = (sine(440, 1, level=0.3)[:, 0].astype(int) + 3000).astype(np.int16)
    doc.open(x)
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Normalize(90, True)
    out = doc.samples()[:, 0].astype(float)
    assert abs(out.mean()) < 5
    assert np.abs(out).max() == pytest.approx(0.9 * 32768, rel=0.002)


def test_compressor_reduces_a_steady_tone_above_threshold_by_the_ratio(doc, transform):
    # A sine at −6 dBFS, threshold −18 dB, 4:1: 12 dB over comes out 3 dB over.
    doc.open(sine(1000, 2, level=0.5))
    select_all(doc, 2 * RATE)
    transform.Compressor(-18, 0, 4, 50)
    out = doc.samples()[RATE:, 0]
    level_db = db(tone_level(out, 1000) / 32768)
    assert level_db == pytest.approx(-18 + 12 / 4, abs=0.5)


def test_envelope_passes_through_its_points(doc, transform):
    doc.open(np.full((RATE, 1), 10000, np.int16))
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Envelope([0.0, 500.0, 1000.0], [100.0, 50.0, 100.0], 0, 0)
    out = doc.samples()[:, 0]
    assert out[0] == pytest.approx(10000, abs=2)
    assert out[RATE // 2] == pytest.approx(5000, abs=20)


def test_envelope_takes_numpy_arrays(doc, transform):
    doc.open(np.full((RATE, 1), 10000, np.int16))
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Envelope(np.array([0.0, 1000.0]), np.array([50.0, 50.0]), 0, 0)
    assert doc.samples()[RATE // 2, 0] == pytest.approx(5000, abs=2)


def test_invert_negates_and_silence_zeroes(doc, transform):
    x = sine(300, 0.5)
    doc.open(x)
    select_all(doc, len(x))
    transform.SmoothEnabled = False
    transform.Invert()
    assert np.array_equal(doc.samples()[:, 0], np.clip(-x[:, 0].astype(int), -32767, 32767))
    transform.Silence()
    assert not doc.samples().any()


def test_reverse_reverses_a_selection_longer_than_a_block(doc, transform):
    x = (np.arange(int(2.5 * RATE)) % 30000).astype(np.int16)
    doc.open(x)
    doc.select(1000, 100000)
    transform.Reverse()
    out = doc.samples()[:, 0]
    expected = x.copy()
    expected[1000:100000] = x[1000:100000][::-1]
    assert np.array_equal(out, expected)


# ---- time ----

def test_delay_puts_an_echo_at_the_lag_and_level(doc, transform):
    x = np.zeros((RATE, 1), np.int16)
    x[100] = 20000
    doc.open(x)
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Delay(250, 50, 0)
    out = doc.samples()[:, 0].astype(int)
    lag = 100 + int(0.25 * RATE)
    assert out[100] == pytest.approx(20000, abs=1)
    assert out[lag] == pytest.approx(10000, rel=0.02)


def test_reverb_tail_rings_on_past_the_selection_and_decays(doc, transform):
    x = np.zeros((3 * RATE, 1), np.int16)
    x[:RATE // 2] = sine(500, 0.5, level=0.5)
    doc.open(x)
    doc.select(0, RATE // 2)
    transform.Reverb(20, 50, 50, 50, 5000, 4)
    out = doc.samples()[:, 0].astype(float)
    assert len(out) == len(x)
    after = [rms(out[RATE // 2 + k * 4410: RATE // 2 + (k + 1) * 4410]) for k in range(8)]
    assert after[0] > 10
    assert after[-1] < after[0] / 2


def test_flanger_modulates_at_the_sweep_rate(doc, transform):
    doc.open(sine(500, 2, level=0.3))
    transform.SmoothEnabled = False
    select_all(doc, 2 * RATE)
    # The delay sweeps between 1 and 1.5 ms: the echo's phase against the 500 Hz
    # tone turns by less than half a period, so the level of the sum rises and
    # falls once per sweep, twice a second.
    transform.Flanger(1, 50, 0, 0.5, 2.0, 0)
    out = doc.samples()[:, 0].astype(float)
    env = np.array([rms(out[k * 441:(k + 1) * 441]) for k in range(200)])
    spectrum = np.abs(np.fft.rfft(env - env.mean()))
    assert np.argmax(spectrum) == pytest.approx(4, abs=1)  # 2 Hz over 2 s = bin 4


# ---- filters ----

@pytest.mark.parametrize("method,args,freq,expected_db", [
    ("LowPassFilter", (1000, 0.7071), 1000, -3.01),
    ("HighPassFilter", (1000, 0.7071), 1000, -3.01),
    ("PeakEQFilter", (6, 1000, 1.0), 1000, 6.0),
])
def test_single_filters_have_their_analytic_gain(doc, transform, method, args, freq, expected_db):
    doc.open(sine(freq, 1, level=0.25))
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    getattr(transform, method)(*args)
    out = doc.samples()[RATE // 2:, 0]
    gain = tone_level(out, freq) / tone_level(sine(freq, 1, level=0.25)[RATE // 2:, 0], freq)
    assert db(gain) == pytest.approx(expected_db, abs=0.05)


def test_equalizer_gains_at_band_centres(doc, transform):
    t = np.arange(RATE) / RATE
    x = (np.sin(2 * np.pi * 250 * t) + np.sin(2 * np.pi * 2000 * t)) * 5000
    doc.open(np.round(x).astype(np.int16))
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Equalizer([6.0, -6.0], [250.0, 2000.0], 0)
    out = doc.samples()[RATE // 2:, 0]
    assert db(tone_level(out, 250) / 5000) == pytest.approx(6, abs=0.3)
    assert db(tone_level(out, 2000) / 5000) == pytest.approx(-6, abs=0.3)


# ---- mixing channels ----

def test_mix_channels_swaps_left_and_right(doc, transform):
    x = np.stack([np.arange(1000), -np.arange(1000)], axis=1).astype(np.int16)
    doc.open(x)
    select_all(doc, 1000)
    gains = np.zeros((18, 18))
    gains[0, 1] = gains[1, 0] = 100
    transform.MixChannels(gains)
    assert np.array_equal(doc.samples(), x[:, ::-1])


def test_mix_channels_takes_a_numpy_matrix_of_gains_by_output_and_input(doc, transform):
    x = np.stack([np.full(100, 1000), np.full(100, 300)], axis=1).astype(np.int16)
    doc.open(x)
    select_all(doc, 100)
    gains = np.zeros((18, 18))
    gains[0, 0] = 50   # left: half of the left
    gains[1, 0] = 100  # right: the left
    transform.MixChannels(gains)
    assert doc.samples()[0].tolist() == [500, 1000]


def test_mix_channels_with_a_small_array_changes_nothing(doc, transform):
    x = np.stack([np.arange(1000), -np.arange(1000)], axis=1).astype(np.int16)
    doc.open(x)
    select_all(doc, 1000)
    transform.MixChannels([[0.0, 100.0], [100.0, 0.0]])
    assert np.array_equal(doc.samples(), x)
    assert doc.control.UndoList in (None, [])


# ---- the frame ----

def test_an_effect_is_one_undo_step_with_its_code(doc, transform):
    x = sine(500, 1)
    doc.open(x)
    select_all(doc, RATE)
    transform.Amplify(50)
    assert doc.control.Status == 0
    doc.control.Undo(1)
    assert np.array_equal(doc.samples(), x)


def test_channels_outside_the_operation_are_bit_identical(doc, transform):
    x = sine(500, 1, channels=2)
    x[::7, 1] = -32768  # a round trip through the effect would store -32767
    doc.open(x)
    doc.control.Channels.Num = 2
    doc.control.Channels.OperationEnabled = False
    select_all(doc, RATE)
    transform.Amplify(50)
    out = doc.samples()
    assert np.array_equal(out[:, 1], x[:, 1])
    middle = slice(RATE // 4, 3 * RATE // 4)  # away from the smoothed edges
    assert rms(out[middle, 0]) == pytest.approx(rms(x[middle, 0]) / 2, rel=0.001)


class StopAt:
    """Calls Stop from the first progress report of the block loop."""

    def __init__(self, control, after=0):
        self.control = control
        self.reports = 0
        self.after = after

    def OnBlockOperation(self, percent):
        self.reports += 1
        if self.reports == self.after + 1:
            self.control.Stop()


def test_stop_in_the_first_block_keeps_one_processed_second(doc, transform):
    x = sine(500, 5)
    doc.open(x)
    select_all(doc, 5 * RATE)
    connection = qelaudio.connect(doc.control, StopAt(doc.control))
    transform.SmoothEnabled = False
    transform.Amplify(50)
    del connection
    out = doc.samples()[:, 0].astype(int)
    assert np.array_equal(out[:RATE], np.trunc(x[:RATE, 0] * 0.5).astype(int))
    assert np.array_equal(out[RATE:], x[RATE:, 0])
    assert doc.control.UndoList == [43]


def test_stop_while_the_head_is_copied_cancels(doc, transform):
    x = sine(500, 25)
    doc.open(x)
    doc.select(22 * RATE, 25 * RATE)
    connection = qelaudio.connect(doc.control, StopAt(doc.control))
    transform.Amplify(50)
    del connection
    assert np.array_equal(doc.samples(), x)
    assert doc.control.UndoList in (None, [])


def test_a_processor_refusing_a_parameter_is_an_error_and_changes_nothing(doc, transform):
    x = sine(500, 1)
    doc.open(x)
    select_all(doc, RATE)
    with pytest.raises(qelaudio.ComError) as error:
        transform.LowPassFilter(float("nan"), 1)
    assert error.value.hresult & 0xFFFFFFFF == E_INVALIDARG
    assert doc.control.Status == 0
    assert np.array_equal(doc.samples(), x)


@pytest.mark.parametrize("bits", [8, 16, 24, 32])
def test_every_sample_size_goes_through_an_effect(doc, transform, bits):
    full = {8: 127, 16: 32767, 24: 8388607, 32: 2147483647}[bits]
    t = np.arange(RATE // 10)
    x = np.round(np.sin(t * 0.05) * full * 0.4).astype(np.int64)
    stored = x + 128 if bits == 8 else x
    doc.open(stored, bits=bits)
    transform.SmoothEnabled = False
    select_all(doc, len(x))
    transform.Amplify(200)
    out = doc.samples()[:, 0].astype(np.int64)
    if bits == 8:
        out = out - 128
    assert np.max(np.abs(out - 2 * x)) <= (1 if bits == 8 else 2)


def test_smoothing_fades_the_edges_of_a_long_selection_only(doc, transform):
    doc.open(np.full((RATE, 1), 10000, np.int16))
    transform.SmoothEnabled = True
    transform.SmoothTimeBegin = 10
    transform.SmoothTimeEnd = 10
    select_all(doc, RATE)
    transform.Silence()
    out = doc.samples()[:, 0]
    assert out[0] == pytest.approx(10000, rel=0.01)  # starts dry
    assert out[RATE // 2] == 0
    assert out[-1] == pytest.approx(10000, rel=0.01)  # ends dry
    doc.open(np.full((RATE, 1), 10000, np.int16))
    doc.select(0, 300)  # shorter than 10 ms: no smoothing
    transform.Silence()
    assert doc.samples()[0, 0] == 0


def test_the_video_refusal_does_not_apply_to_audio_effects(doc, transform):
    x = sine(500, 0.2)
    doc.open(x)
    select_all(doc, len(x))
    transform.Invert()
    assert doc.control.UndoList == [42]


def test_a_preview_without_playback_answers_plays_error_and_leaves_the_control_idle(doc, transform):
    x = sine(500, 0.2)
    doc.open(x)
    select_all(doc, len(x))
    doc.control.PreviewMode = 1
    with pytest.raises(qelaudio.ComError):
        transform.Amplify(50)
    assert doc.control.Status == 0
    assert np.array_equal(doc.samples(), x)
