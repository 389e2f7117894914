"""Effects through the control, measured on known signals: what each one does to
a sine, noise or an impulse, with the tolerance written beside it; and the
frame around them: undo steps, sample sizes, smoothing, errors from the
processors; then the effects that change time and pitch, clean up, filter by
curves, generate, remove silence, chain and count beats. Stopping an effect at
each block is swept in test_cancel_sweep."""
import numpy as np
import pytest
import qelaudio

RATE = 44100
E_INVALIDARG = 0x80070057


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


def select_all(doc, frames):
    doc.select(0, frames)


@pytest.fixture
def transform(doc):
    return doc.control.Transform


# The processors' responses are measured in the C++ effect suites; here each
# Transform member is run once to show it reaches its processor with its
# arguments in the order the surface gives them.

def impulse_at_100():
    x = np.zeros((RATE, 1), np.int16)
    x[100] = 20000
    return x


def two_tones():
    t = np.arange(RATE) / RATE
    x = (np.sin(2 * np.pi * 250 * t) + np.sin(2 * np.pi * 2000 * t)) * 5000
    return np.round(x).astype(np.int16)


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


def check_equalizer(x, out):
    out = out[RATE // 2:, 0]
    assert db(tone_level(out, 250) / 5000) == pytest.approx(6, abs=0.3)
    assert db(tone_level(out, 2000) / 5000) == pytest.approx(-6, abs=0.3)


def check_gain_at(freq, expected_db, tolerance=0.05):
    def check(x, out):
        gain = tone_level(out[RATE // 2:, 0], freq) / tone_level(x[RATE // 2:, 0], freq)
        assert db(gain) == pytest.approx(expected_db, abs=tolerance)
    return check


def check_compressed(x, out):
    # A sine at -6 dBFS, threshold -18 dB, 4:1: 12 dB over comes out 3 dB over.
    level_db = db(tone_level(out[RATE // 2:, 0], 1000) / 32768)
    assert level_db == pytest.approx(-18 + 12 / 4, abs=0.5)


EFFECTS = [
    ("Fade", (100, 0, 0), lambda: np.full((RATE, 1), 20000, np.int16), check_fade),
    ("Normalize", (90, True),
     lambda: (sine(440, 1, level=0.3)[:, 0].astype(int) + 3000).astype(np.int16), check_normalize),
    ("Delay", (250, 50, 0), impulse_at_100, check_delay),
    ("Equalizer", ([6.0, -6.0], [250.0, 2000.0], 0), two_tones, check_equalizer),
    ("LowPassFilter", (1000, 0.7071), lambda: sine(1000, 1, level=0.25), check_gain_at(1000, -3.01)),
    ("HighPassFilter", (1000, 0.7071), lambda: sine(1000, 1, level=0.25), check_gain_at(1000, -3.01)),
    ("PeakEQFilter", (6, 1000, 1.0), lambda: sine(1000, 1, level=0.25), check_gain_at(1000, 6.0)),
    ("Compressor", (-18, 0, 4, 50), lambda: sine(1000, 1, level=0.5), check_compressed),
]


@pytest.mark.parametrize("method, args, make, check", EFFECTS, ids=[e[0] for e in EFFECTS])
def test_each_effect_member_reaches_its_processor_with_its_arguments(doc, transform, method,
                                                                    args, make, check):
    x = make()
    doc.open(x)
    transform.SmoothEnabled = False
    select_all(doc, len(x))
    getattr(transform, method)(*args)
    check(x if x.ndim == 2 else x[:, None], doc.samples())


def test_envelope_takes_numpy_arrays(doc, transform):
    doc.open(np.full((RATE, 1), 10000, np.int16))
    transform.SmoothEnabled = False
    select_all(doc, RATE)
    transform.Envelope(np.array([0.0, 1000.0]), np.array([50.0, 50.0]), 0, 0)
    assert doc.samples()[RATE // 2, 0] == pytest.approx(5000, abs=2)


# ---- mixing channels ----

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
    assert doc.control.UndoList == [43]
    doc.control.Undo(1)
    doc.control.Undo(1)
    assert np.array_equal(doc.samples(), x)


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


def test_a_preview_without_playback_answers_plays_error_and_leaves_the_control_idle(doc, transform):
    x = sine(500, 0.2)
    doc.open(x)
    select_all(doc, len(x))
    doc.control.PreviewMode = 1
    with pytest.raises(qelaudio.ComError):
        transform.Amplify(50)
    assert doc.control.Status == 0
    assert np.array_equal(doc.samples(), x)


# ---- time and pitch, cleaning, curves, generators, silence, chains, tempo ----

INVALID_ARGUMENT = 0x80040308


def mono(freq, seconds, level=0.5):
    return sine(freq, seconds, level)[:, 0]


def frequency(x, rate=RATE):
    """The strongest frequency, from a windowed FFT with parabolic interpolation."""
    x = np.asarray(x, dtype=float)
    spectrum = np.abs(np.fft.rfft(x * np.hanning(len(x)))) + 1e-12
    k = int(np.argmax(spectrum[1:])) + 1
    a, b, c = np.log(spectrum[k - 1:k + 2])
    offset = 0.5 * (a - c) / (a - 2 * b + c)
    return (k + offset) * rate / len(x)


@pytest.fixture
def t(doc):
    doc.control.Transform.SmoothEnabled = False
    return doc.control.Transform


def frames(doc):
    return doc.control.Position.TotalSamples


# ---- pitch and time ----

@pytest.mark.parametrize("rate", [0.8, 1.25])
def test_time_stretch_changes_the_length_by_one_over_rate_and_keeps_the_pitch(doc, t, rate):
    x = mono(440, 4)
    doc.open(x)
    doc.select(0, len(x))
    t.TimeStretch(rate)
    out = doc.samples()[:, 0]
    assert len(out) / len(x) == pytest.approx(1 / rate, rel=0.01)
    middle = out[len(out) // 4: 3 * len(out) // 4]
    assert frequency(middle) == pytest.approx(440, rel=0.01)


def test_pitch_shift_moves_a_tone_by_its_ratio_and_keeps_the_length(doc, t):
    ratio = 2 ** (3 / 12)
    x = mono(440, 3)
    doc.open(x)
    doc.select(0, len(x))
    t.PitchShift(ratio)
    out = doc.samples()[:, 0]
    assert len(out) == len(x)
    assert frequency(out[RATE // 2: -RATE // 2]) == pytest.approx(440 * ratio, rel=0.005)


def test_resample_changes_speed_and_pitch_together(doc, t):
    x = mono(441, 2)
    doc.open(x)
    doc.select(0, len(x))
    t.Resample(22050, True, True, 2)
    out = doc.samples()[:, 0]
    assert len(out) / len(x) == pytest.approx(0.5, rel=0.005)
    assert frequency(out[1000:-1000]) == pytest.approx(882, rel=0.005)


# ---- cleaning and curves ----

def test_noise_removal_lowers_the_floor_and_keeps_the_tone(doc, t):
    rng = np.random.default_rng(7)
    seconds = 4
    noise = rng.normal(0, 300, seconds * RATE)
    tone = np.sin(2 * np.pi * 1000 * np.arange(seconds * RATE) / RATE) * 8000
    tone[: RATE] = 0  # a second of noise alone to learn from
    x = np.round(noise + tone).astype(np.int16)
    doc.open(x)
    doc.select(0, len(x))
    t.NoiseRemove(20, 2048, "")
    out = doc.samples()[:, 0].astype(float)

    def floor(signal):  # the noise away from the tone: 3 to 8 kHz
        spectrum = np.abs(np.fft.rfft(signal[2 * RATE: 3 * RATE])) ** 2
        f = np.fft.rfftfreq(RATE, 1 / RATE)
        return 10 * np.log10(spectrum[(f > 3000) & (f < 8000)].mean())

    assert floor(x.astype(float)) - floor(out) >= 20 - 3
    assert db(tone_level(out[2 * RATE:3 * RATE], 1000) / tone_level(x[2 * RATE:3 * RATE], 1000)) == \
        pytest.approx(0, abs=1)


@pytest.mark.parametrize("method", ["FFTFilter", "FIRFilter"])
def test_curve_filters_meet_their_gain_points(doc, t, method):
    points = [(200.0, 0.0), (1000.0, -12.0), (5000.0, 6.0)]
    freqs = [f for f, _ in points]
    gains = [g for _, g in points]
    for f, g in points:
        x = mono(f, 1, level=0.2)
        doc.open(x)
        doc.select(0, len(x))
        if method == "FFTFilter":
            t.FFTFilter(gains, freqs, 4096, 1, 0)
        else:
            t.FIRFilter(gains, freqs, [], 6, 0)
        out = doc.samples()[RATE // 4: -RATE // 4, 0]
        measured = db(tone_level(out, f) / tone_level(x[RATE // 4: -RATE // 4], f))
        assert measured == pytest.approx(g, abs=1), f


# ---- generators ----

def test_generated_sine_has_its_frequency_and_level(doc, t):
    doc.open(np.zeros(RATE, np.int16))
    doc.select(0, 0)
    t.GenerateSignal(2000, -6, 1000, False, 0, 0, False, 0, 0, 1, 0, 100)
    out = doc.samples()[:, 0].astype(float)
    assert len(out) == RATE + 2 * RATE
    made = out[:2 * RATE]
    assert frequency(made) == pytest.approx(1000, rel=0.001)
    assert db(np.abs(made).max() / 32768) == pytest.approx(-6, abs=0.1)


def test_generate_silence_of_two_and_a_half_seconds_inserts_exactly_that(doc, t):
    doc.open(mono(300, 1))
    doc.select(RATE // 2, RATE // 2)
    t.GenerateSilence(2500)
    assert frames(doc) == RATE + int(2.5 * RATE)
    assert not doc.samples()[RATE // 2: RATE // 2 + int(2.5 * RATE)].any()


def test_generate_signal_of_type_zero_keeps_the_previous_signal(doc, t):
    doc.open(np.zeros(100, np.int16))
    doc.select(0, 0)
    t.GenerateSignal(500, -6, 1000, False, 0, 0, False, 0, 0, 2, 0, 100)  # square
    doc.select(0, 0)
    t.GenerateSignal(500, -6, 1000, False, 0, 0, False, 0, 0, 0, 0, 100)
    made = doc.samples()[: RATE // 2, 0].astype(float)
    # A square wave sits at its peak level most of the time.
    assert np.mean(np.abs(made) > 0.45 * 32768) > 0.9


def test_a_chirp_starts_and_ends_at_its_frequencies(doc, t):
    doc.open(np.zeros(100, np.int16))
    doc.select(0, 0)
    t.GenerateChirp(2000, -6, 500, 4000, 2000, False, 0, 0, False, 0, 0, 0, 100)
    out = doc.samples()[: 2 * RATE, 0].astype(float)
    window = 2048
    assert frequency(out[:window]) == pytest.approx(500, rel=0.05)
    assert frequency(out[-window:]) == pytest.approx(4000, rel=0.05)


# ---- silence, chains, tempo ----

def test_delete_silence_removes_the_gap_between_two_tones(doc, t):
    gap = np.zeros(RATE, np.int16)
    x = np.concatenate([mono(440, 1), gap, mono(440, 1)])
    doc.open(x)
    doc.select(0, len(x))
    t.DeleteSilence(-50, 20)
    assert frames(doc) == pytest.approx(2 * RATE, abs=0.010 * RATE)


def test_a_batch_of_three_equals_the_three_one_after_another(doc, t):
    x = np.stack([mono(300, 1), mono(700, 1, level=0.3)], axis=1)
    doc.open(x)
    doc.select(0, RATE)
    t.Amplify(150)
    t.HighPassFilter(500, 0.7071)
    t.Invert()
    expected = doc.samples()
    doc.open(x)
    doc.select(0, RATE)
    t.BatchProcess('<effects><amplify percent="150"/><highpass frequency="500" steepness="0.7071"/>'
                   '<invert/></effects>')
    got = doc.samples()
    assert np.max(np.abs(got.astype(int) - expected.astype(int))) <= 1
    assert doc.control.UndoList == [82]


def test_a_bad_batch_is_an_invalid_argument_and_changes_nothing(doc, t):
    x = mono(300, 0.5)
    doc.open(x)
    doc.select(0, len(x))
    with pytest.raises(qelaudio.ComError) as error:
        t.BatchProcess('<effects><amplify/></effects>')
    assert error.value.hresult == INVALID_ARGUMENT
    assert np.array_equal(doc.samples()[:, 0], x)
    assert doc.control.Status == 0


@pytest.mark.parametrize("bpm", [90, 120, 140])
def test_the_tempo_of_a_click_track(doc, t, bpm):
    seconds = 20
    x = np.zeros(seconds * RATE)
    click = np.sin(2 * np.pi * 2000 * np.arange(441) / RATE) * np.hanning(441) * 20000
    for start in np.arange(0, seconds * RATE - 441, 60 / bpm * RATE).astype(int):
        x[start:start + 441] += click
    doc.open(np.round(x).astype(np.int16))
    doc.select(0, len(x))
    t.BPMAnalyse()
    assert t.GetBPM() == pytest.approx(bpm, abs=1)
    assert doc.control.UndoList in (None, [])
