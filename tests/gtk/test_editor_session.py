"""The desktop editor's recording, device preferences, dropped files and what
it remembers between runs (window size, recent files). Each test's editors keep
their settings under the test's own XDG_CONFIG_HOME (conftest.py); recording
uses ALSA's file plug-in, which captures from a file without a sound card."""
import signal

import pytest

from test_editor import RATE, Editor, display, wait_until, write_wave  # noqa: F401

SHORT = 800  # frames of the recording test's document (0.1 s)
DROP_SIGNAL = signal.SIGUSR2  # makes --drop PATH drop PATH on the window


def start(display, tmp_path, name, audio, *options):
    """An editor whose report and temporary files go to a folder of its own,
    so that a test may run several, one after another, sharing the settings."""
    folder = tmp_path / name
    folder.mkdir()
    return Editor(display, folder, audio, *options)


def quit_editor(editor):
    """Quits as the user does (Ctrl+Q), so that the window keeps its size."""
    editor.key("ctrl+q")
    editor.process.wait(timeout=20)


def settings_file(tmp_path):
    return tmp_path / "config" / "qel-editor" / "settings.ini"


def remember(tmp_path, text):
    path = settings_file(tmp_path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)


@pytest.fixture
def alsa_devices(tmp_path, monkeypatch):
    """Devices "qel_out" (plays into out.raw) and "qel_in" (records from in.raw,
    ten seconds of a constant level)."""
    out, inp = tmp_path / "out.raw", tmp_path / "in.raw"
    inp.write_bytes((1000).to_bytes(2, "little", signed=True) * (10 * RATE))
    conf = tmp_path / "extra.conf"
    conf.write_text(
        f'pcm.qel_out {{ type file slave.pcm "null" file "{out}" format "raw"\n'
        '  hint { show on description "test output" } }\n'
        f'pcm.qel_in {{ type file slave.pcm "null" file "/dev/null" infile "{inp}" format "raw"\n'
        '  hint { show on description "test input" } }\n')
    monkeypatch.setenv("ALSA_CONFIG_PATH", f"/usr/share/alsa/alsa.conf:{conf}")


@pytest.fixture
def audio_pair(tmp_path):
    first, second = tmp_path / "first.wav", tmp_path / "second.wav"
    write_wave(first, 2000)
    write_wave(second, 3000, frequency=880.0)
    return first, second


@pytest.fixture
def short_audio(tmp_path):
    path = tmp_path / "short.wav"
    write_wave(path, SHORT)
    return path


# ---- devices and recording ----

def test_the_devices_remembered_are_used_from_the_start(display, tmp_path, alsa_devices,
                                                        short_audio):
    remember(tmp_path, "[devices]\nplayback=qel_out\nrecording=qel_in\n")
    editor = start(display, tmp_path, "run", short_audio)
    try:
        state = editor.state()
        assert (state["playback_device"], state["recording_device"]) == ("qel_out", "qel_in")
    finally:
        editor.close()


def test_record_then_stop_lengthens_the_document_as_one_undo_step(display, tmp_path,
                                                                 alsa_devices, short_audio):
    remember(tmp_path, "[devices]\nrecording=qel_in\n")
    editor = start(display, tmp_path, "run", short_audio)
    try:
        if editor.state()["recording_device"] != "qel_in":
            pytest.skip("ALSA's file plug-in gives no capture device here")
        editor.key("ctrl+r")
        # A tenth of a second past the document's end, so recording surely ran.
        recording = editor.wait("the recording", lambda s: s["recording"]
                                and s["total"] > SHORT + RATE // 10)
        assert recording["title"].startswith("[Recording from qel_in]")
        editor.key("Escape")
        state = editor.wait("the stop", lambda s: not s["recording"])
        assert state["total"] >= recording["total"]
        assert state["undo"] == 1 and state["modified"]
        assert not state["title"].startswith("[")
    finally:
        editor.close()


def test_a_device_chosen_in_preferences_is_used_and_remembered(display, tmp_path, alsa_devices,
                                                               short_audio):
    remember(tmp_path, "[devices]\nrecording=qel_in\n")
    editor = start(display, tmp_path, "run", short_audio)
    try:
        editor.key("ctrl+comma")
        editor.dialog("Preferences")
        # The recording drop-down's list, its first device (the system's default), OK.
        editor.xdotool("key", "--delay", 200, "alt+r", "Home", "Return", "alt+o")
        state = editor.wait("the new device", lambda s: s["recording_device"] == "default")
        assert state["playback_device"] == "default"
        assert "recording=default" in settings_file(tmp_path).read_text()
    finally:
        editor.close()


# ---- dropped files ----

def test_a_file_dropped_on_the_window_is_opened(display, tmp_path, audio_pair):
    first, second = audio_pair
    editor = start(display, tmp_path, "run", first, "--drop", second)
    try:
        editor.process.send_signal(DROP_SIGNAL)
        state = editor.wait("the dropped file", lambda s: s["path"] == str(second))
        assert state["total"] == 3000 and "second.wav" in state["title"]
    finally:
        editor.close()


def test_cancel_when_asked_about_unsaved_changes_keeps_the_document_instead_of_the_drop(
        display, tmp_path, audio_pair):
    first, second = audio_pair
    editor = start(display, tmp_path, "run", first, "--drop", second)
    try:
        editor.key("ctrl+a")
        editor.wait("everything selected", lambda s: s["selected"] and s["end"] == 2000)
        editor.key("Delete")
        editor.wait("the deletion", lambda s: s["total"] == 0 and s["modified"])
        editor.process.send_signal(DROP_SIGNAL)
        editor.dialog("Qel Audio Editor")
        editor.xdotool("key", "alt+c")
        wait_until("the question to go", lambda: not editor.find_dialog("^Qel Audio Editor$"))
        state = editor.wait("the answer", lambda s: True)
        assert state["path"] == str(first)
        assert state["total"] == 0 and state["modified"]
    finally:
        editor.close()


# ---- remembered between runs ----

def test_the_window_size_is_kept_for_the_next_run(display, tmp_path, audio_pair):
    first, _ = audio_pair
    editor = start(display, tmp_path, "first", first)
    assert editor.state()["size"] != [700, 430]
    editor.xdotool("windowsize", editor.window, 700, 430)
    editor.wait("the new size", lambda s: s["size"] == [700, 430])
    quit_editor(editor)
    editor = start(display, tmp_path, "second", first)
    try:
        assert editor.state()["size"] == [700, 430]
    finally:
        editor.close()


def test_a_file_opened_is_first_among_the_recent_files_of_the_next_run(display, tmp_path,
                                                                       audio_pair):
    first, second = audio_pair
    start(display, tmp_path, "first", first).close()
    editor = start(display, tmp_path, "second", second)
    try:
        assert editor.state()["recent"] == [str(second), str(first)]
    finally:
        editor.close()


def test_the_recent_files_are_the_newest_eight_that_still_exist(display, tmp_path, audio_pair):
    first, _ = audio_pair
    older = []
    for n in range(9):
        path = tmp_path / f"older{n}.wav"
        write_wave(path, 100)
        older.append(str(path))
    gone = str(tmp_path / "gone.wav")
    remember(tmp_path, "[recent]\nfiles=" + ";".join([older[0], gone] + older[1:]) + ";\n")
    editor = start(display, tmp_path, "run", first)
    try:
        assert editor.state()["recent"] == [str(first)] + older[:7]
    finally:
        editor.close()


def test_choosing_a_recent_file_from_the_file_menu_opens_it(display, tmp_path, audio_pair):
    first, second = audio_pair
    start(display, tmp_path, "first", second).close()
    editor = start(display, tmp_path, "second", first)
    try:
        # F10 opens File with Open… lit: down to Open Recent, into it, past its
        # first entry (the file this run opened) to the second.
        editor.key("F10")
        editor.xdotool("key", "--delay", 200, "Down", "Right", "Down", "Return")
        state = editor.wait("the recent file", lambda s: s["path"] == str(second))
        assert state["recent"][0] == str(second)
    finally:
        editor.close()
