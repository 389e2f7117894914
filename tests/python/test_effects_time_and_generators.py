"""Effects that change time and pitch, clean up, filter by curves, generate,
remove silence, chain and count beats, measured through the control on known
signals with the tolerance written beside each check."""
import numpy as np
import pytest
import qelaudio

RATE = 44100
INVALID_ARGUMENT = 0x80040308


def sine(freq, seconds, level=0.5, rate=RATE):
    t = np.arange(int(seconds * rate)) / rate
    return np.round(np.sin(2 * np.pi * freq * t) * level * 32767).astype(np.int16)


def frequency(x, rate=RATE):
    """The strongest frequency, from a windowed FFT with parabolic interpolation."""
    x = np.asarray(x, dtype=float)
    spectrum = np.abs(np.fft.rfft(x * np.hanning(len(x)))) + 1e-12
    k = int(np.argmax(spectrum[1:])) + 1
    a, b, c = np.log(spectrum[k - 1:k + 2])
    offset = 0.5 * (a - c) / (a - 2 * b + c)
    return (k + offset) * rate / len(x)


def tone_level(x, freq, rate=RATE):
    x = np.asarray(x, dtype=float)
    n = int(len(x) // (rate / freq) * (rate / freq))
    t = np.arange(n) / rate
    return 2 * abs(np.dot(x[:n], np.exp(-2j * np.pi * freq * t))) / n


def db(v):
    return 20 * np.log10(v)


@pytest.fixture
def t(doc):
    doc.control.Transform.SmoothEnabled = False
    return doc.control.Transform


def frames(doc):
    return doc.control.Position.TotalSamples


# ---- pitch and time ----

@pytest.mark.parametrize("rate", [0.8, 1.25])
def test_time_stretch_changes_the_length_by_one_over_rate_and_keeps_the_pitch(doc, t, rate):
    x = sine(440, 4)
    doc.open(x)
    doc.select(0, len(x))
    t.TimeStretch(rate)
    out = doc.samples()[:, 0]
    assert len(out) / len(x) == pytest.approx(1 / rate, rel=0.01)
    middle = out[len(out) // 4: 3 * len(out) // 4]
    assert frequency(middle) == pytest.approx(440, rel=0.01)


def test_pitch_shift_moves_a_tone_by_its_ratio_and_keeps_the_length(doc, t):
    ratio = 2 ** (3 / 12)
    x = sine(440, 3)
    doc.open(x)
    doc.select(0, len(x))
    t.PitchShift(ratio)
    out = doc.samples()[:, 0]
    assert len(out) == len(x)
    assert frequency(out[RATE // 2: -RATE // 2]) == pytest.approx(440 * ratio, rel=0.005)


def test_resample_changes_speed_and_pitch_together(doc, t):
    x = sine(441, 2)
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
        x = sine(f, 1, level=0.2)
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
    doc.open(sine(300, 1))
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
    x = np.concatenate([sine(440, 1), gap, sine(440, 1)])
    doc.open(x)
    doc.select(0, len(x))
    t.DeleteSilence(-50, 20)
    assert frames(doc) == pytest.approx(2 * RATE, abs=0.010 * RATE)


def test_a_batch_of_three_equals_the_three_one_after_another(doc, t):
    x = np.stack([sine(300, 1), sine(700, 1, level=0.3)], axis=1)
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
    x = sine(300, 0.5)
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
