"""Each Transform member run once through the control on a known signal, to show
it reaches its processor with its arguments in the order the surface gives them
(tolerances beside each); and the frame around the effects: undo steps, sample
sizes, smoothing, errors from the processors, generators, batches. What each
processor does to its signals is measured in the C++ effects suites (level_*,
filters_*, spectral_*, pitch_*, time_*, generators_*, analysis_*, batch_chain);
stopping an effect at each block is swept in test_cancel_sweep."""
import numpy as np
import pytest
import qelaudio

RATE = 44100
E_INVALIDARG = 0x80070057
INVALID_ARGUMENT = 0x80040308


def sine(freq, seconds, level=0.5, channels=1, rate=RATE):
    t = np.arange(int(seconds * rate)) / rate
    wave = np.round(np.sin(2 * np.pi * freq * t) * level * 32767).astype(np.int16)
    return np.repeat(wave[:, None], channels, axis=1)


def db(ratio):
    return 20 * np.log10(ratio)


def tone_level(x, freq, rate=RATE):
    """Amplitude of the component at freq (single-bin DFT over whole periods)."""
    x = np.asarray(x, dtype=float)
    n = int(len(x) // (rate / freq) * (rate / freq))
    t = np.arange(n) / rate
    c = np.dot(x[:n], np.exp(-2j * np.pi * freq * t))
    return 2 * abs(c) / n


def frequency(x, rate=RATE):
    """The strongest frequency, from a windowed FFT with parabolic interpolation."""
    x = np.asarray(x, dtype=float)
    spectrum = np.abs(np.fft.rfft(x * np.hanning(len(x)))) + 1e-12
    k = int(np.argmax(spectrum[1:])) + 1
    a, b, c = np.log(spectrum[k - 1:k + 2])
    offset = 0.5 * (a - c) / (a - 2 * b + c)
    return (k + offset) * rate / len(x)


@pytest.fixture
def transform(doc):
    doc.control.Transform.SmoothEnabled = False
    return doc.control.Transform


def impulse_at_100():
    x = np.zeros((RATE, 1), np.int16)
    x[100] = 20000
    return x


def two_tones():
    t = np.arange(RATE) / RATE
    x = (np.sin(2 * np.pi * 250 * t) + np.sin(2 * np.pi * 2000 * t)) * 5000
    return np.round(x).astype(np.int16)[:, None]


def check_fade(x, out):
    out = out[:, 0].astype(int)
    assert out[0] == pytest.approx(20000, abs=1)
    assert abs(out[-1]) <= 1
    assert np.all(np.diff(out) <= 0)


def check_normalize(x, out):
    out = out[:, 0].astype(float)
    assert abs(out.mean()) < 5
    assert np.abs(out).max() == pytest.approx(0.9 * 32768, rel=0.002)


def check_delay(x, out):
    out = out[:, 0].astype(int)
    assert out[100] == pytest.approx(20000, abs=1)
    assert out[100 + int(0.25 * RATE)] == pytest.approx(10000, rel=0.02)


def check_gains(gains, tolerance=0.05):
    """The gain (dB) at each frequency, measured over the second half."""
    def check(x, out):
        for freq, expected_db in gains.items():
            gain = tone_level(out[RATE // 2:, 0], freq) / tone_level(x[RATE // 2:, 0], freq)
            assert db(gain) == pytest.approx(expected_db, abs=tolerance), freq
    return check


def check_length_and_pitch(length_ratio, freq, rel):
    def check(x, out):
        assert len(out) / len(x) == pytest.approx(length_ratio, rel=rel)
        assert frequency(out[len(out) // 4: 3 * len(out) // 4, 0]) == pytest.approx(freq, rel=rel)
    return check


def tone_gap_tone():
    return np.concatenate([sine(440, 1), np.zeros((RATE, 1), np.int16), sine(440, 1)])


def check_gap_removed(x, out):
    assert len(out) == pytest.approx(2 * RATE, abs=0.010 * RATE)


CURVE = ([0.0, -12.0, 6.0], [200.0, 1000.0, 5000.0])  # gains (dB) at frequencies (Hz)
THIRD_UP = 2 ** (3 / 12)

EFFECTS = [
    ("Fade", (100, 0, 0), lambda: np.full((RATE, 1), 20000, np.int16), check_fade),
    ("Normalize", (90, True),
     lambda: (sine(440, 1, level=0.3).astype(int) + 3000).astype(np.int16), check_normalize),
    ("Delay", (250, 50, 0), impulse_at_100, check_delay),
    ("Equalizer", ([6.0, -6.0], [250.0, 2000.0], 0), two_tones,
     check_gains({250: 6, 2000: -6}, tolerance=0.3)),
    ("LowPassFilter", (1000, 0.7071), lambda: sine(1000, 1, level=0.25), check_gains({1000: -3.01})),
    ("PeakEQFilter", (6, 1000, 1.0), lambda: sine(1000, 1, level=0.25), check_gains({1000: 6.0})),
    # A sine at -6 dBFS, threshold -18 dB, 4:1: 12 dB over comes out 3 dB over (-15 dBFS).
    ("Compressor", (-18, 0, 4, 50), lambda: sine(1000, 1, level=0.5),
     check_gains({1000: -15 - db(0.5)}, tolerance=0.5)),
    ("FFTFilter", (*CURVE, 4096, 1, 0), lambda: sine(1000, 1, level=0.2),
     check_gains({1000: -12}, tolerance=1)),
    ("FIRFilter", (*CURVE, [], 6, 0), lambda: sine(1000, 1, level=0.2),
     check_gains({1000: -12}, tolerance=1)),
    ("TimeStretch", (1.25,), lambda: sine(440, 4), check_length_and_pitch(0.8, 440, 0.01)),
    ("PitchShift", (THIRD_UP,), lambda: sine(440, 3),
     check_length_and_pitch(1, 440 * THIRD_UP, 0.005)),
    ("Resample", (22050, True, True, 2), lambda: sine(441, 2), check_length_and_pitch(0.5, 882, 0.005)),
    ("DeleteSilence", (-50, 20), tone_gap_tone, check_gap_removed),
]


@pytest.mark.parametrize("method, args, make, check", EFFECTS, ids=[e[0] for e in EFFECTS])
def test_each_effect_member_reaches_its_processor_with_its_arguments(doc, transform, method,
                                                                    args, make, check):
    x = make()
    doc.open(x)
    doc.select(0, len(x))
    getattr(transform, method)(*args)
    check(x, doc.samples())


def test_envelope_takes_numpy_arrays(doc, transform):
    doc.open(np.full((RATE, 1), 10000, np.int16))
    doc.select(0, RATE)
    transform.Envelope(np.array([0.0, 1000.0]), np.array([50.0, 50.0]), 0, 0)
    assert doc.samples()[RATE // 2, 0] == pytest.approx(5000, abs=2)


# ---- mixing channels ----

def test_mix_channels_takes_a_numpy_matrix_of_gains_by_output_and_input(doc, transform):
    x = np.stack([np.full(100, 1000), np.full(100, 300)], axis=1).astype(np.int16)
    doc.open(x)
    doc.select(0, 100)
    gains = np.zeros((18, 18))
    gains[0, 0] = 50   # left: half of the left
    gains[1, 0] = 100  # right: the left
    transform.MixChannels(gains)
    assert doc.samples()[0].tolist() == [500, 1000]


def test_mix_channels_with_a_small_array_changes_nothing(doc, transform):
    x = np.stack([np.arange(1000), -np.arange(1000)], axis=1).astype(np.int16)
    doc.open(x)
    doc.select(0, 1000)
    transform.MixChannels([[0.0, 100.0], [100.0, 0.0]])
    assert np.array_equal(doc.samples(), x)
    assert doc.control.UndoList in (None, [])


# ---- the frame ----

def test_an_effect_is_one_undo_step_with_its_code(doc, transform):
    x = sine(500, 1)
    doc.open(x)
    doc.select(0, RATE)
    transform.Amplify(50)
    assert doc.control.Status == 0
    assert doc.control.UndoList == [43]
    doc.control.Undo(1)
    doc.control.Undo(1)
    assert np.array_equal(doc.samples(), x)


def test_a_processor_refusing_a_parameter_is_an_error_and_changes_nothing(doc, transform):
    x = sine(500, 1)
    doc.open(x)
    doc.select(0, RATE)
    with pytest.raises(qelaudio.ComError) as error:
        transform.LowPassFilter(float("nan"), 1)
    assert error.value.hresult & 0xFFFFFFFF == E_INVALIDARG
    assert doc.control.Status == 0
    assert np.array_equal(doc.samples(), x)


@pytest.mark.parametrize("bits", [8, 24, 32])
def test_every_sample_size_goes_through_an_effect(doc, transform, bits):
    full = {8: 127, 24: 8388607, 32: 2147483647}[bits]
    t = np.arange(RATE // 10)
    x = np.round(np.sin(t * 0.05) * full * 0.4).astype(np.int64)
    stored = x + 128 if bits == 8 else x
    doc.open(stored, bits=bits)
    doc.select(0, len(x))
    transform.Amplify(200)
    out = doc.samples()[:, 0].astype(np.int64)
    if bits == 8:
        out = out - 128
    assert np.max(np.abs(out - 2 * x)) <= (1 if bits == 8 else 2)


def test_smoothing_fades_the_edges_of_a_long_selection(doc, transform):
    # Which selections are long enough is tested in SmoothingFlag (C++ processing suite).
    doc.open(np.full((RATE, 1), 10000, np.int16))
    transform.SmoothEnabled = True
    transform.SmoothTimeBegin = 10
    transform.SmoothTimeEnd = 10
    doc.select(0, RATE)
    transform.Silence()
    out = doc.samples()[:, 0]
    assert out[0] == pytest.approx(10000, rel=0.01)  # starts dry
    assert out[RATE // 2] == 0
    assert out[-1] == pytest.approx(10000, rel=0.01)  # ends dry


def test_a_preview_without_playback_answers_plays_error_and_leaves_the_control_idle(doc, transform):
    x = sine(500, 0.2)
    doc.open(x)
    doc.select(0, len(x))
    doc.control.PreviewMode = 1
    with pytest.raises(qelaudio.ComError):
        transform.Amplify(50)
    assert doc.control.Status == 0
    assert np.array_equal(doc.samples(), x)


# ---- generators ----

def test_generated_sine_has_its_frequency_and_level(doc, transform):
    doc.open(np.zeros(RATE, np.int16))
    doc.select(0, 0)
    transform.GenerateSignal(2000, -6, 1000, False, 0, 0, False, 0, 0, 1, 0, 100)
    out = doc.samples()[:, 0].astype(float)
    assert len(out) == RATE + 2 * RATE
    made = out[:2 * RATE]
    assert frequency(made) == pytest.approx(1000, rel=0.001)
    assert db(np.abs(made).max() / 32768) == pytest.approx(-6, abs=0.1)


def test_generate_silence_of_two_and_a_half_seconds_inserts_exactly_that(doc, transform):
    doc.open(sine(300, 1))
    doc.select(RATE // 2, RATE // 2)
    transform.GenerateSilence(2500)
    assert doc.control.Position.TotalSamples == RATE + int(2.5 * RATE)
    assert not doc.samples()[RATE // 2: RATE // 2 + int(2.5 * RATE)].any()


def test_generate_signal_of_type_zero_keeps_the_previous_signal(doc, transform):
    doc.open(np.zeros(100, np.int16))
    doc.select(0, 0)
    transform.GenerateSignal(500, -6, 1000, False, 0, 0, False, 0, 0, 2, 0, 100)  # square
    doc.select(0, 0)
    transform.GenerateSignal(500, -6, 1000, False, 0, 0, False, 0, 0, 0, 0, 100)
    made = doc.samples()[: RATE // 2, 0].astype(float)
    # A square wave sits at its peak level most of the time.
    assert np.mean(np.abs(made) > 0.45 * 32768) > 0.9


def test_a_batch_of_three_equals_the_three_one_after_another(doc, transform):
    x = np.concatenate([sine(300, 1), sine(700, 1, level=0.3)], axis=1)
    doc.open(x)
    doc.select(0, RATE)
    transform.Amplify(150)
    transform.HighPassFilter(500, 0.7071)
    transform.Invert()
    expected = doc.samples()
    doc.open(x)
    doc.select(0, RATE)
    transform.BatchProcess('<effects><amplify percent="150"/>'
                           '<highpass frequency="500" steepness="0.7071"/><invert/></effects>')
    got = doc.samples()
    assert np.max(np.abs(got.astype(int) - expected.astype(int))) <= 1
    assert doc.control.UndoList == [82]


def test_a_bad_batch_is_an_invalid_argument_and_changes_nothing(doc, transform):
    x = sine(300, 0.5)
    doc.open(x)
    doc.select(0, len(x))
    with pytest.raises(qelaudio.ComError) as error:
        transform.BatchProcess('<effects><amplify/></effects>')
    assert error.value.hresult == INVALID_ARGUMENT
    assert np.array_equal(doc.samples(), x)
    assert doc.control.Status == 0


def test_the_tempo_of_a_click_track_is_measured_and_changes_nothing(doc, transform):
    bpm = 120
    seconds = 20
    x = np.zeros(seconds * RATE)
    click = np.sin(2 * np.pi * 2000 * np.arange(441) / RATE) * np.hanning(441) * 20000
    for start in np.arange(0, seconds * RATE - 441, 60 / bpm * RATE).astype(int):
        x[start:start + 441] += click
    doc.open(np.round(x).astype(np.int16))
    doc.select(0, len(x))
    transform.BPMAnalyse()
    assert transform.GetBPM() == pytest.approx(bpm, abs=1)
    assert doc.control.UndoList in (None, [])
