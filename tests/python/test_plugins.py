"""The plug-in hosts through the control: LADSPA plug-ins of Debian's ladspa-sdk
behind DXTransform, mda's LV2 plug-ins behind VSTTransform. Listing with the
load events and Cancel, the settings store, what the plug-ins do to known
signals (measured, tolerances beside them), and the frame around a run. What
each SDK plug-in does, the property page, refused load methods, indices out of
range and parameter units are tested in the C++ plug-in suite (LadspaSdk,
LadspaInstances, LadspaDiscovery, Lv2)."""
import pathlib

import numpy as np
import pytest
import qelaudio

RATE = 44100
INVALID_OPERATION = 0x80040307
LADSPA = pathlib.Path("/usr/lib/ladspa")
MDA = "http://drobilla.net/plugins/mda/"
# The fixtures built beside the plug-in tests (one refuses to start).
FIXTURES = pathlib.Path(qelaudio.__file__).resolve().parent.parent / "tests/plugins/ladspa-fixtures"

pytestmark = pytest.mark.skipif(
    not (LADSPA / "amp.so").exists() or not pathlib.Path("/usr/lib/lv2/mda.lv2").exists(),
    reason="needs the ladspa-sdk and mda-lv2 plug-ins")


def sine(freq, seconds, level=0.5):
    t = np.arange(int(seconds * RATE)) / RATE
    return np.round(np.sin(2 * np.pi * freq * t) * level * 32767).astype(np.int16)[:, None]


def rms(x):
    return float(np.sqrt(np.mean(np.asarray(x, dtype=float) ** 2)))


class Loads:
    """Records the load events; skips the plug-ins named in `skip`."""

    def __init__(self, skip=()):
        self.names, self.skip = [], set(skip)

    def OnDXLoad(self, num, name, cancel):
        self.names.append(name)
        if name in self.skip:
            cancel.value = True

    OnVSTLoad = OnDXLoad


def undo_codes(control):
    return list(control.UndoList or [])  # None while the history is empty


def names(host):
    out = []
    for i in range(host.Count):
        host.FilterNum = i
        out.append(host.Name)
    return out


def choose(host, name):
    found = names(host)
    host.FilterNum = found.index(name)


def store(path, plugins):
    """A settings store: {plugin id: {key: value}}."""
    body = "".join(
        f'<plugin id="{pid}">' + "".join(f'<param key="{k}" value="{v}"/>' for k, v in params.items())
        + "</plugin>" for pid, params in plugins.items())
    path.write_text(f'<?xml version="1.0"?><plugin-states version="1">{body}</plugin-states>')
    return str(path)


@pytest.fixture
def dx(control, monkeypatch):
    monkeypatch.setenv("LADSPA_PATH", str(LADSPA))
    control.DXTransformEnabled = True
    return control.DXTransform


@pytest.fixture
def vst(control):
    control.VSTTransformEnabled = True
    return control.VSTTransform


def run_one(doc, host, name, samples):
    doc.open(samples)
    doc.select(0, len(samples))
    host.LoadLibraries(1)
    choose(host, name)
    host.Active = True
    host.Process()
    return doc.samples()


# ---- enabling and listing ----

def test_enabling_creates_the_host_and_a_second_false_changes_nothing(control, dx):
    assert control.DXTransformEnabled
    control.DXTransformEnabled = False
    assert control.DXTransformEnabled


def test_members_do_nothing_while_the_host_is_disabled(control):
    host = control.DXTransform
    host.LoadLibraries(1)
    host.Process()
    assert control.Status == 0


def test_load_libraries_lists_the_sdk_effects_the_host_did_not_cancel(control, dx):
    loads = Loads(skip={"Simple Delay Line"})
    qelaudio.connect(control, loads)
    dx.LoadLibraries(1)
    found = names(dx)
    assert {"Mono Amplifier", "Simple Low Pass Filter"} <= set(found)
    assert "White Noise Source" not in found  # no audio input: not an effect
    assert "Simple Delay Line" in loads.names and "Simple Delay Line" not in found
    assert [n for n in loads.names if n != "Simple Delay Line"] == found
    choose(dx, "Mono Amplifier")
    assert dx.Vendor.startswith("Richard Furse")
    assert control.Status == 0


def test_stop_during_loading_skips_the_plugins_after_it(control, dx):
    class StopAtFirst(Loads):
        def OnDXLoad(self, num, name, cancel):
            super().OnDXLoad(num, name, cancel)
            if len(self.names) == 1:
                control.Stop()  # the rest arrive preset to skip

    qelaudio.connect(control, StopAtFirst())
    dx.LoadLibraries(1)
    assert dx.Count == 1


# ---- LADSPA plug-ins on known signals ----

def test_ladspa_amp_scales_by_the_gain_from_the_store_in_one_undo_step(doc, dx, tmp_path):
    dx.XMLFileName = store(tmp_path / "dx.xml", {1048: {0: 2.0}})
    tone = sine(440, 1, level=0.25)
    out = run_one(doc, dx, "Mono Amplifier", tone)
    assert np.abs(out.astype(int) - 2 * tone.astype(int)).max() <= 1  # float rounding
    assert undo_codes(doc.control) == [80]


def test_a_ladspa_gain_set_through_param_value_applies(doc, dx):
    tone = sine(440, 1, level=0.25)
    doc.open(tone)
    doc.select(0, len(tone))
    dx.LoadLibraries(1)
    choose(dx, "Mono Amplifier")
    assert dx.ParamsCount == 1 and dx.ParamName[0] == "Gain"
    dx.ParamValue[0] = 0.5
    dx.Active = True
    dx.Process()
    assert np.abs(doc.samples().astype(int) - tone.astype(int) / 2).max() <= 1  # float rounding


def test_process_with_no_active_plugin_changes_nothing(doc, dx):
    doc.open(sine(440, 1))
    doc.select(0, RATE)
    dx.LoadLibraries(1)
    dx.Process()
    assert undo_codes(doc.control) == []


def test_a_plugin_that_fails_to_start_gives_its_reason_and_leaves_the_document(
        doc, control, monkeypatch):
    if not (FIXTURES / "qel_test_ladspa.so").exists():
        pytest.skip("the plug-in fixtures are not built")
    monkeypatch.setenv("LADSPA_PATH", str(FIXTURES))
    control.DXTransformEnabled = True
    tone = sine(440, 1)
    doc.open(tone)
    doc.select(0, RATE)
    control.DXTransform.LoadLibraries(0)
    choose(control.DXTransform, "Refuses To Start")
    control.DXTransform.Active = True
    with pytest.raises(qelaudio.ComError) as err:
        control.DXTransform.Process()
    assert "Refuses To Start" in err.value.description
    assert control.Status == 0
    assert undo_codes(control) == []
    assert np.array_equal(doc.samples(), tone)


# ---- LV2 plug-ins: parameters, presets, the store ----

def test_lv2_preset_changes_the_output(doc, vst):
    tone = sine(1000, 1, level=0.1)  # -20 dBFS: the splitter's defaults pass it
    doc.open(tone)
    doc.select(0, RATE)
    vst.LoadLibraries(1)
    choose(vst, "MDA Splitter")
    vst.Active = True
    vst.Process()
    passed = rms(doc.samples())
    doc.control.Undo(1)
    presets = [vst.PresetName[i] for i in range(vst.PresetsCount)]
    vst.SetPreset(presets.index("Pass Peaks Only"))
    vst.Process()
    assert passed > 0.5 * rms(tone)
    # Fed one channel on both inputs, the gate keeps about a third (measured 0.35).
    assert rms(doc.samples()) < 0.5 * passed


def test_lv2_settings_survive_saving_and_reloading_the_store(control, vst, tmp_path):
    path = str(tmp_path / "vst.xml")
    vst.XMLFileName = path
    vst.LoadLibraries(1)
    choose(vst, "MDA Delay")
    vst.ParamValue[0] = 0.25
    again = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    again.VSTTransformEnabled = True
    second = again.VSTTransform
    second.XMLFileName = path
    second.LoadLibraries(1)
    choose(second, "MDA Delay")
    assert second.ParamValue[0] == pytest.approx(0.25, abs=1e-9)


def test_a_malformed_store_is_refused_with_its_reason(control, vst, tmp_path):
    bad = tmp_path / "bad.xml"
    bad.write_text("<plugin-states")
    with pytest.raises(qelaudio.ComError) as err:
        vst.XMLFileName = str(bad)
    assert err.value.hresult == 0x80070057 and err.value.description


def test_closing_the_page_with_apply_runs_the_plugins(doc, control, vst):
    tone = sine(1000, 1, level=0.1)
    doc.open(tone)
    doc.select(0, RATE)
    vst.LoadLibraries(1)
    choose(vst, "MDA Splitter")
    vst.Active = True
    vst.PropertyPage(0, 0, [0, 0, 0, 0])
    control.SetAdditionalParam("VSTPropPageClose", 1)
    assert undo_codes(control) == [81]


def test_a_plugin_preview_plays_what_process_would_write_and_changes_nothing(
        doc, dx, tmp_path, monkeypatch):
    from test_playback import Recorder, alsa_devices, choose as choose_device, play_to_end
    out, _ = alsa_devices(tmp_path, monkeypatch)
    choose_device(doc.control.Playback.Device, "qel_out")
    events = Recorder(doc.control)
    dx.XMLFileName = store(tmp_path / "dx.xml", {1048: {0: 2.0}})
    tone = sine(440, 1, level=0.25)
    doc.open(tone)
    doc.select(0, len(tone))
    dx.LoadLibraries(1)
    choose(dx, "Mono Amplifier")
    dx.Active = True
    doc.control.PreviewMode = 1
    with qelaudio.connect(doc.control, events):
        dx.Process()
        play_to_end(doc.control, events)
    assert np.array_equal(doc.samples(), tone) and not doc.control.UndoList
    heard = np.frombuffer(out.read_bytes(), np.int16)
    assert np.abs(heard.astype(int) - 2 * tone[:, 0].astype(int)).max() <= 1


def test_a_24_bit_document_goes_through_an_lv2_plugin_at_the_level_of_a_16_bit_one(doc, vst):
    tone = sine(1000, 1, level=0.1)
    vst.LoadLibraries(1)
    choose(vst, "MDA Splitter")
    vst.Active = True
    outputs = {}
    for bits, samples in ((16, tone), (24, tone.astype(np.int32) << 8)):
        doc.open(samples, bits=bits)
        doc.select(0, RATE)
        vst.Process()
        outputs[bits] = doc.samples().astype(float)
    assert rms(outputs[24]) / 256 == pytest.approx(rms(outputs[16]), rel=0.01)


def test_process_on_a_document_with_video_is_an_invalid_operation(control, dx, tmp_path):
    from test_media_io import ffmpeg
    clip = str(tmp_path / "clip.mp4")
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f", "lavfi", "-i",
           "sine=frequency=440:duration=1", "-c:v", "libx264", "-c:a", "aac", "-shortest", clip)
    control.OpenFile(clip, 0, 0, 0, 0, 0, 0)
    control.Position.Selected = True
    control.Position.EndSelect = 1000
    dx.LoadLibraries(1)
    choose(dx, "Mono Amplifier")
    dx.Active = True
    with pytest.raises(qelaudio.ComError) as err:
        dx.Process()
    assert err.value.hresult == INVALID_OPERATION
    assert not control.UndoList
