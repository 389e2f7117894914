"""A real mixer and a device with its own clock: a PulseAudio daemon of the
test's own, with a null sink, reached through ALSA's "pulse" plug-in as the
device "qel_pulse". Skipped when PulseAudio or the plug-in is not installed."""
import glob
import os
import shutil
import socket
import subprocess
import time

import numpy as np
import pytest
import qelaudio

from test_playback import Recorder, choose, ramp

RATE = 8000
E_INVALIDARG = 0x80070057
SERVER_SCRIPT = """\
load-module module-null-sink sink_name=qel_null rate=44100
load-module module-native-protocol-unix auth-anonymous=1 socket={socket}
set-default-sink qel_null
set-default-source qel_null.monitor
"""


def _answers(path):
    with socket.socket(socket.AF_UNIX) as s:
        try:
            s.connect(str(path))
            return True
        except OSError:
            return False


@pytest.fixture(scope="module")
def pulse_server(tmp_path_factory):
    """Starts the daemon in a folder of its own (runtime, state and home there, so
    that nothing of the user's is read or written), stops it after the module."""
    if not shutil.which("pulseaudio"):
        pytest.skip("PulseAudio is not installed (Debian package pulseaudio)")
    if not glob.glob("/usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so"):
        pytest.skip("ALSA's pulse plug-in is not installed (Debian package libasound2-plugins)")
    folder = tmp_path_factory.mktemp("pulse")
    sock = folder / "native"
    script = folder / "server.pa"
    script.write_text(SERVER_SCRIPT.format(socket=sock))
    env = dict(os.environ, HOME=str(folder), XDG_RUNTIME_DIR=str(folder),
               XDG_CONFIG_HOME=str(folder / "config"), PULSE_RUNTIME_PATH=str(folder / "run"),
               PULSE_STATE_PATH=str(folder / "state"))
    log = open(folder / "server.log", "wb")
    daemon = subprocess.Popen(
        ["pulseaudio", "-n", "-F", str(script), "--daemonize=no", "--exit-idle-time=-1",
         "--use-pid-file=no", "--log-target=stderr"],
        env=env, stdout=log, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 10
    while daemon.poll() is None and not _answers(sock) and time.monotonic() < deadline:
        time.sleep(0.05)
    if daemon.poll() is not None or not _answers(sock):
        daemon.kill()
        daemon.wait()
        log.close()
        pytest.skip("PulseAudio did not start: "
                    + (folder / "server.log").read_text(errors="replace")[-500:])
    yield sock
    daemon.terminate()
    try:
        daemon.wait(5)
    except subprocess.TimeoutExpired:
        daemon.kill()
        daemon.wait()
    log.close()


@pytest.fixture
def pulse(pulse_server, tmp_path, monkeypatch):
    """Points ALSA and the client library at the daemon; "qel_pulse" is both a PCM
    and a control device."""
    conf = tmp_path / "pulse.conf"
    conf.write_text(
        'pcm.qel_pulse { type pulse hint { show on description "test sound server" } }\n'
        'ctl.qel_pulse { type pulse }\n')
    monkeypatch.setenv("PULSE_SERVER", f"unix:{pulse_server}")
    # The client library keeps its cookie and settings under the home folder.
    monkeypatch.setenv("HOME", str(tmp_path))
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    monkeypatch.setenv("ALSA_CONFIG_PATH", f"/usr/share/alsa/alsa.conf:{conf}")


@pytest.fixture
def lines(control, pulse):
    choose(control.Playback.Device, "qel_pulse")
    lines = control.Playback.Device.DeviceLines
    choose_line(lines, "Master")
    return lines


def choose_line(lines, name):
    for i in range(lines.Count):
        lines.Num = i
        if lines.Name == name:
            return
    raise AssertionError(f"{name} is not among the lines")


def advanced(lines):
    return {lines.AdvancedName(i): i for i in range(lines.AdvancedCount)}


def test_the_players_lines_are_those_of_the_chosen_devices_mixer(lines):
    assert lines.Count > 0
    names = []
    for i in range(lines.Count):
        lines.Num = i
        names.append(lines.Name)
    assert "Master" in names


def test_the_recorders_lines_are_the_capture_lines_of_its_device(control, pulse):
    choose(control.Recorder.Device, "qel_pulse")
    lines = control.Recorder.Device.DeviceLines
    choose_line(lines, "Capture")
    lines.Volume = 40
    assert abs(lines.Volume - 40) <= 1


def test_a_volume_set_on_a_line_reads_back_within_one_percent(lines):
    for percent in (0, 37, 100):
        lines.Volume = percent
        assert abs(lines.Volume - percent) <= 1


def test_a_balance_lowers_the_other_channel_and_keeps_the_volume(lines):
    lines.Volume = 80
    lines.VolumeBalance = 50
    assert abs(lines.VolumeBalance - 50) <= 1
    assert abs(lines.Volume - 80) <= 1
    channels = advanced(lines)
    assert abs(lines.AdvancedValue(channels["Front Left"]) - 40) <= 1
    assert abs(lines.AdvancedValue(channels["Front Right"]) - 80) <= 1


def test_select_switches_the_line_off_and_on(lines):
    lines.Select = False
    assert not lines.Select
    lines.Select = True
    assert lines.Select


def test_a_channels_volume_is_an_advanced_control_that_moves_the_balance(lines):
    lines.VolumeBalance = 0
    lines.Volume = 100
    channels = advanced(lines)
    assert {"Front Left", "Front Right"} <= channels.keys()
    lines.AdvancedValue[channels["Front Right"]] = 50
    assert abs(lines.AdvancedValue(channels["Front Right"]) - 50) <= 1
    assert abs(lines.VolumeBalance + 50) <= 1


def test_an_advanced_control_beyond_the_list_or_a_volume_beyond_100_is_invalid(lines):
    with pytest.raises(qelaudio.ComError) as e:
        lines.AdvancedName(lines.AdvancedCount)
    assert e.value.hresult & 0xFFFFFFFF == E_INVALIDARG
    with pytest.raises(qelaudio.ComError) as e:
        lines.AdvancedValue[0] = 101
    assert e.value.hresult & 0xFFFFFFFF == E_INVALIDARG


@pytest.fixture
def player(control, doc, pulse):
    choose(control.Playback.Device, "qel_pulse")
    events = Recorder(control)
    connection = qelaudio.connect(control, events)
    yield control, doc, events
    connection.disconnect()


def test_a_clocked_device_paces_playback_to_the_documents_duration(player):
    control, doc, events = player
    doc.open(ramp(RATE), rate=RATE)
    started = time.monotonic()
    control.Play(2, 0)
    assert qelaudio.run_messages(control, 20, lambda: events.end_plays > 0)
    # A lower bound only: a second of sound cannot be over much sooner than a
    # second after it began (0.1 s allows for the device's own buffer).
    assert time.monotonic() - started >= 0.9
    assert events.positions[-1] == RATE


def test_pause_on_a_clocked_device_holds_the_position_and_continue_plays_the_rest(player):
    control, doc, events = player
    doc.open(ramp(2 * RATE), rate=RATE)
    control.Play(2, 0)
    assert qelaudio.run_messages(control, 20, lambda: control.Position.PlayPosition >= RATE // 4)
    control.Pause()
    held = control.Position.PlayPosition
    assert 0 < held < 2 * RATE
    qelaudio.run_messages(control, 0.3)
    assert control.Position.PlayPosition == held
    resumed = len(events.positions)
    control.Continue()
    assert qelaudio.run_messages(control, 20, lambda: events.end_plays > 0)
    assert events.end_plays == 1
    assert events.positions[-1] == 2 * RATE
    assert min(events.positions[resumed:]) >= held
