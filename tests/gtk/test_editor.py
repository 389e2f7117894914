"""The desktop editor on a virtual X server: real GTK windows, pointer and keys
from xdotool, the clipboard through xclip. The editor reports its state
(--report) after every change; the tests wait on that report, never on the clock
alone (each wait has a generous limit only so that a broken build fails
instead of hanging)."""
import json
import math
import os
import shutil
import signal
import struct
import subprocess
import time
import wave

import pytest

TOOLS = ("Xvfb", "xdotool", "xclip")
missing = [t for t in TOOLS if shutil.which(t) is None]
pytestmark = pytest.mark.skipif(bool(missing), reason=f"missing: {', '.join(missing)}")

EDITOR = os.environ.get("QEL_EDITOR", "")
RATE = 8000
FRAMES = 4 * RATE  # four seconds of mono 16-bit audio
LIMIT = 20.0       # seconds a wait may take before the test fails
FADE = RATE // 100  # a paste cross-fades over 10 ms (the control's default smoothing)


def write_wave(path, frames, rate=RATE, frequency=440.0):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(
            struct.pack("<h", int(12000 * math.sin(2 * math.pi * frequency * i / rate)))
            for i in range(frames)))


def wait_until(what, check, limit=LIMIT):
    end = time.monotonic() + limit
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


@pytest.fixture(scope="module")
def display():
    if not EDITOR or not os.path.exists(EDITOR):
        pytest.skip("QEL_EDITOR does not name the built editor")
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    with os.fdopen(read, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        server.kill()
        pytest.skip("Xvfb did not start")
    yield ":" + number.decode().strip()
    server.terminate()
    server.wait()


class Editor:
    def __init__(self, display, tmp_path, audio, *options):
        self.display = display
        self.report_path = tmp_path / "report.json"
        self.snapshot_path = tmp_path / "snapshot.png"
        temp = tmp_path / "temp"
        temp.mkdir()
        self.env = dict(os.environ, DISPLAY=display, GDK_BACKEND="x11", GSK_RENDERER="cairo",
                        NO_AT_BRIDGE="1", GTK_A11Y="none", TMPDIR=str(temp),
                        QEL_LOCK_DIR=str(tmp_path))
        self.process = subprocess.Popen(
            [EDITOR, "--report", str(self.report_path), "--snapshot", str(self.snapshot_path),
             *map(str, options), str(audio)], env=self.env, stderr=subprocess.PIPE)
        state = self.wait("the document to show",
                          lambda s: s["total"] > 0 and s["area"][2] > 100 and s["area"][3] > 100)
        self.window = wait_until("the window", self.find_window)

    def find_window(self):
        """This editor's visible window with the title it reports now (the title
        may change after a report, and titles are compared as text, not as the
        patterns xdotool's --name takes)."""
        state = self.state()
        if not state:
            return None
        found = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                str(self.process.pid)],
                               env=self.env, capture_output=True, text=True).stdout.split()
        for window in found:
            name = subprocess.run(["xdotool", "getwindowname", window], env=self.env,
                                  capture_output=True, text=True).stdout.strip()
            if name == state["title"]:
                return window
        return None

    def find_dialog(self, pattern):
        """One of this editor's visible windows whose title matches the pattern."""
        found = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                str(self.process.pid), "--name", pattern],
                               env=self.env, capture_output=True, text=True).stdout.split()
        return found[0] if found else None

    def state(self):
        try:
            return json.loads(self.report_path.read_text())
        except (FileNotFoundError, ValueError):
            return None

    def wait(self, what, check):
        def ready():
            s = self.state()
            # Settled: no operation running and no mouse button held.
            return s if s and not s["busy"] and not s["buttons"] and check(s) else None
        return wait_until(what, ready)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True)

    def point(self, fx, fy=0.5):
        """Window coordinates of a point of the picture, as fractions of its size."""
        x, y, w, h = self.state()["area"]
        return int(x + fx * w), int(y + fy * h)

    def drag(self, f0, f1):
        x0, y = self.point(f0)
        x1, _ = self.point(f1)
        self.xdotool("mousemove", "--window", self.window, x0, y, "mousedown", "1")
        for k in range(1, 6):
            self.xdotool("mousemove", "--window", self.window, x0 + (x1 - x0) * k // 5, y)
        self.xdotool("mouseup", "1")

    def click(self, f):
        x, y = self.point(f)
        self.xdotool("mousemove", "--window", self.window, x, y, "click", "1")

    def key(self, keys):
        self.xdotool("windowfocus", "--sync", self.window)
        self.xdotool("key", "--clearmodifiers", keys)

    def dialog(self, title):
        """Waits for a dialog window and gives it the keyboard."""
        found = wait_until(f"the {title} dialog", lambda: self.find_dialog(f"^{title}$"))
        self.xdotool("windowfocus", "--sync", found)
        return found

    def fill(self, mnemonic, text):
        """Types text into the dialog field whose label has that mnemonic."""
        self.xdotool("key", "--delay", 50, f"alt+{mnemonic}", "ctrl+a")
        self.xdotool("type", "--delay", 50, text)

    def select(self, f0, f1):
        self.drag(f0, f1)
        return self.wait("a selection", lambda s: s["selected"] and s["end"] > s["start"])

    def collapse(self, f):
        """A click puts the cursor there and leaves nothing selected."""
        self.click(f)
        return self.wait("no selection", lambda s: not s["selected"])

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def audio(tmp_path):
    path = tmp_path / "tone440.wav"
    write_wave(path, FRAMES)
    return path


@pytest.fixture
def editor(display, tmp_path, audio):
    e = Editor(display, tmp_path, audio)
    yield e
    e.close()


# ---- steps several tests take ----

def open_effect(editor, submenu, item):
    """Chooses an item of a submenu of Effects (both counted from 0) with the keyboard."""
    editor.key("F10")
    editor.xdotool("key", "--delay", 100, "Right", "Right", "Right", *["Down"] * submenu, "Return")
    editor.xdotool("key", "--delay", 100, *["Down"] * item, "Return")


def amplify_everything(editor):
    """Amplify over the whole document, from the menu, with its dialog's defaults."""
    editor.key("ctrl+a")
    editor.wait("everything selected", lambda s: s["selected"] and s["end"] == FRAMES)
    # F10 opens the first menu; three to the right is Effects, whose first
    # submenu, Level, starts with Amplify.
    open_effect(editor, 0, 0)
    editor.dialog("Amplify")
    editor.xdotool("key", "alt+o")


def click_cancel_while_running(editor):
    def cancel_shown():
        s = editor.state()
        # Laid out: the button lies below the picture.
        return s if s and s["busy"] and s["cancel"][1] > s["area"][1] + s["area"][3] else None

    x, y, w, h = wait_until("the progress row", cancel_shown)["cancel"]
    editor.xdotool("mousemove", "--window", editor.window, x + w // 2, y + h // 2, "click", "1")
    return editor.wait("the end of the operation", lambda s: True)


# ---- opening and the title ----

def test_a_file_given_on_the_command_line_is_opened_and_named_in_the_title(editor):
    state = editor.state()
    assert state["total"] == FRAMES
    assert "tone440.wav" in state["title"]
    assert not state["modified"]


def test_a_file_that_cannot_be_read_is_named_in_the_error_and_the_document_stays(
        display, tmp_path, audio):
    broken = tmp_path / "broken.wav"
    broken.write_bytes(b"RIFF\x10\x00\x00\x00WAVEjunkjunkjunk")
    editor = Editor(display, tmp_path, audio, "--answer-chooser", broken)
    try:
        editor.key("ctrl+o")
        editor.dialog("Qel Audio Editor")  # the message box; the window is named after the file
        editor.xdotool("key", "Return")
        state = editor.wait("the message", lambda s: s["message"])
        assert "broken.wav" in state["message"]
        assert state["path"] == str(audio) and state["total"] == FRAMES
    finally:
        editor.close()


# ---- the mouse ----

def test_dragging_across_the_picture_selects_what_lies_under_the_pointer(editor):
    state = editor.select(0.3, 0.7)
    # The picture has a level scale at its left: the waveform starts a few
    # dozen pixels in, so the fractions of the document are near, not equal,
    # to those of the picture (within 0.1 of the whole).
    assert abs(state["start"] / FRAMES - 0.3) < 0.1
    assert abs(state["end"] / FRAMES - 0.7) < 0.1


def test_the_wheel_over_the_picture_zooms_in_by_a_quarter(editor):
    before = editor.state()
    assert (before["view_start"], before["view_end"]) == (0, FRAMES)
    x, y = editor.point(0.5)
    editor.xdotool("mousemove", "--window", editor.window, x, y, "click", "4")
    state = editor.wait("a zoom", lambda s: s["view_end"] - s["view_start"] < FRAMES)
    assert abs((state["view_end"] - state["view_start"]) - 0.75 * FRAMES) <= 0.01 * FRAMES


# ---- keyboard shortcuts: copy, paste, undo ----

def test_copy_then_paste_at_the_cursor_lengthens_the_document_by_the_selection(editor):
    state = editor.select(0.3, 0.5)
    length = state["end"] - state["start"]
    editor.key("ctrl+c")
    editor.collapse(0.8)
    editor.key("ctrl+v")
    state = editor.wait("the paste", lambda s: s["total"] > FRAMES)
    assert state["total"] == FRAMES + length - FADE
    assert state["modified"] and state["title"].startswith("*")


def test_undo_takes_the_paste_back(editor):
    editor.select(0.3, 0.5)
    editor.key("ctrl+c")
    editor.collapse(0.8)
    editor.key("ctrl+v")
    editor.wait("the paste", lambda s: s["total"] > FRAMES)
    editor.key("ctrl+z")
    state = editor.wait("the undo", lambda s: s["total"] == FRAMES)
    assert state["undo"] == 0
    assert not state["modified"]


# ---- menus and the effect dialog ----

def test_an_effect_chosen_from_the_menu_and_confirmed_in_its_dialog_is_one_undo_step(editor):
    amplify_everything(editor)
    state = editor.wait("the effect", lambda s: s["undo"] == 1)
    assert state["total"] == FRAMES
    assert state["modified"]


# ---- the desktop clipboard ----

def test_copied_audio_is_offered_to_other_programs_as_wave(editor, tmp_path):
    state = editor.select(0.2, 0.4)
    frames = state["end"] - state["start"]
    editor.key("ctrl+c")
    out = tmp_path / "from_editor.wav"

    def read_clipboard():
        got = subprocess.run(["xclip", "-selection", "clipboard", "-t", "audio/x-wav", "-o"],
                             env=editor.env, capture_output=True, timeout=LIMIT).stdout
        return got if got[:4] == b"RIFF" else None

    out.write_bytes(wait_until("wave data on the clipboard", read_clipboard))
    with wave.open(str(out)) as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (1, 2, RATE)
        assert w.getnframes() == frames


def test_wave_data_another_program_offers_is_pasted_in(editor, tmp_path):
    offered = tmp_path / "offered.wav"
    write_wave(offered, 3000, frequency=880.0)
    owner = subprocess.Popen(
        ["xclip", "-quiet", "-selection", "clipboard", "-t", "audio/x-wav", "-i", str(offered)],
        env=editor.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until("xclip to own the clipboard", lambda: subprocess.run(
            ["xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"], env=editor.env,
            capture_output=True, text=True).stdout.count("audio/x-wav"))
        editor.collapse(0.5)
        editor.key("ctrl+v")
        state = editor.wait("the paste", lambda s: s["total"] > FRAMES)
        assert state["total"] == FRAMES + 3000
    finally:
        owner.terminate()
        owner.wait()


# ---- the picture ----

def write_showcase(path, seconds=3):
    """Stereo with some shape to look at: a tone fading in on the left, and on
    the right a decaying tone struck twice."""
    with wave.open(str(path), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        frames = []
        for i in range(seconds * RATE):
            t = i / RATE
            left = min(1.0, t) * math.sin(2 * math.pi * 440 * t)
            struck = t if t < 1.5 else t - 1.5
            right = math.exp(-2.5 * struck) * math.sin(2 * math.pi * 330 * t)
            frames.append(struct.pack("<hh", int(14000 * left), int(20000 * right)))
        w.writeframes(b"".join(frames))


def test_the_window_writes_its_picture_as_png_on_request(display, tmp_path):
    showcase = tmp_path / "showcase.wav"
    write_showcase(showcase)
    editor = Editor(display, tmp_path, showcase)
    try:
        editor.select(0.15, 0.3)
        editor.key("ctrl+m")
        editor.wait("the marker", lambda s: len(s["markers"]) == 1)
        editor.select(0.55, 0.8)
        editor.process.send_signal(signal.SIGUSR1)
        wait_until("the snapshot", editor.snapshot_path.exists)
        data = editor.snapshot_path.read_bytes()
        assert data[:8] == b"\x89PNG\r\n\x1a\n"
        width, height = struct.unpack(">II", data[16:24])
        assert width >= 600 and height >= 300
        keep = os.environ.get("QEL_EDITOR_SHOTS")
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(editor.snapshot_path, os.path.join(keep, "editor.png"))
    finally:
        editor.close()


# ---- cancelling a running operation ----

@pytest.fixture
def slow_editor(display, tmp_path, audio):
    # Each block of an operation is held back 400 ms, long enough to press Cancel.
    e = Editor(display, tmp_path, audio, "--slow-progress", 400)
    yield e
    e.close()


def test_cancel_in_the_progress_row_leaves_the_document_as_it_was(slow_editor):
    amplify_everything(slow_editor)
    state = click_cancel_while_running(slow_editor)
    assert state["undo"] == 0
    assert state["total"] == FRAMES
    assert not state["modified"]


def test_cancel_leaves_nothing_to_redo(slow_editor):
    amplify_everything(slow_editor)
    state = click_cancel_while_running(slow_editor)
    # The blocks processed before Cancel are gone, not kept for Redo.
    assert state["redo"] == 0


# ---- saving in another format ----

def wave_layout(path):
    """Rate, bits, channels and frames of a wave file, the extensible kind
    included (which the wave module does not read)."""
    data = path.read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
    pos, fmt, size = 12, None, None
    while pos + 8 <= len(data):
        tag, length = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[pos + 8:pos + 24])
        elif tag == b"data":
            size = length
        pos += 8 + length + (length & 1)
    _, channels, rate, _, align, bits = fmt
    return rate, bits, channels, size // align


def test_save_as_writes_the_sample_rate_size_and_channels_chosen_in_its_dialog(
        display, tmp_path, audio):
    target = tmp_path / "saved.wav"
    editor = Editor(display, tmp_path, audio, "--answer-chooser", target)
    try:
        editor.key("ctrl+shift+s")
        editor.dialog("Save As saved.wav")
        editor.fill("r", "16000")
        editor.fill("s", "24")
        editor.fill("c", "2")
        editor.xdotool("key", "Return")
        state = editor.wait("the save", lambda s: s["path"] == str(target))
        assert not state["modified"] and "saved.wav" in state["title"]
        rate, bits, channels, frames = wave_layout(target)
        assert (rate, bits, channels) == (16000, 24, 2)
        # Twice the frames at twice the rate, give or take the resampler's edges (1 %).
        assert abs(frames - 2 * FRAMES) <= 0.01 * 2 * FRAMES
        assert not (tmp_path / "saved.wav.part").exists()
    finally:
        editor.close()


# ---- markers ----

def test_add_marker_marks_the_selection(editor):
    state = editor.select(0.25, 0.5)
    editor.key("ctrl+m")
    marked = editor.wait("the marker", lambda s: len(s["markers"]) == 1)
    assert marked["markers"][0][:2] == [state["start"], state["end"] - state["start"]]


def test_choosing_a_marker_in_the_list_selects_its_range(editor):
    state = editor.select(0.25, 0.5)
    editor.key("ctrl+m")
    editor.wait("the marker", lambda s: len(s["markers"]) == 1)
    editor.collapse(0.8)
    editor.key("ctrl+shift+m")
    editor.dialog("Markers")
    editor.xdotool("key", "Return")
    jumped = editor.wait("the jump", lambda s: s["selected"])
    assert (jumped["start"], jumped["end"]) == (state["start"], state["end"])


def open_the_markers_dialog_on_a_new_marker(editor):
    editor.select(0.25, 0.5)
    editor.key("ctrl+m")
    editor.wait("the marker", lambda s: len(s["markers"]) == 1)
    editor.key("ctrl+shift+m")
    editor.dialog("Markers")


def test_rename_in_the_markers_dialog_relabels_the_marker(editor):
    open_the_markers_dialog_on_a_new_marker(editor)
    editor.xdotool("key", "alt+r")
    editor.dialog("Rename Marker")
    editor.fill("n", "Chorus")
    editor.xdotool("key", "Return")
    state = editor.wait("the new name", lambda s: s["markers"] and s["markers"][0][2] == "Chorus")
    assert len(state["markers"]) == 1


def test_delete_in_the_markers_dialog_removes_the_marker(editor):
    open_the_markers_dialog_on_a_new_marker(editor)
    editor.xdotool("key", "alt+d")
    state = editor.wait("the deletion", lambda s: not s["markers"])
    assert state["total"] == FRAMES  # the audio stays


# ---- converting the sample type ----

def test_convert_sample_type_changes_the_documents_rate_and_channels(editor):
    # Effects is the fourth menu; Convert Sample Type its eighth item, after
    # the six submenus and Plug-ins.
    editor.key("F10")
    editor.xdotool("key", "Right", "Right", "Right", *["Down"] * 7, "Return")
    editor.dialog("Convert Sample Type")
    editor.fill("r", "16000")
    editor.fill("c", "2")
    editor.xdotool("key", "Return")
    state = editor.wait("the conversion", lambda s: s["undo"] == 1)
    assert state["format"] == [16000, 16, 2]
    # Twice the frames at twice the rate, give or take the resampler's edges (1 %).
    assert abs(state["total"] - 2 * FRAMES) <= 0.01 * 2 * FRAMES


# ---- plug-ins ----

AMP = "/usr/lib/ladspa/amp.so"  # Debian's ladspa-sdk: Mono Amplifier first, one Gain


@pytest.fixture
def amp_editor(display, tmp_path, audio, monkeypatch):
    """The editor finding the amplifiers alone, so that Mono Amplifier is first in the list."""
    if not os.path.exists(AMP):
        pytest.skip("ladspa-sdk's amp.so is not installed")
    plugins = tmp_path / "ladspa"
    plugins.mkdir()
    (plugins / "amp.so").symlink_to(AMP)
    monkeypatch.setenv("LADSPA_PATH", str(plugins))
    e = Editor(display, tmp_path, audio)
    yield e
    e.close()


def apply_the_amplifier(editor, gain=None):
    editor.key("ctrl+a")
    editor.wait("everything selected", lambda s: s["selected"] and s["end"] == FRAMES)
    editor.key("ctrl+shift+p")
    editor.dialog("Plug-ins")
    editor.xdotool("key", "alt+o")
    editor.dialog("Mono Amplifier")
    if gain is not None:
        editor.fill("g", gain)
    editor.xdotool("key", "Return")
    return editor.wait("the plug-in's step", lambda s: s["undo"] == 1)


def wave_samples(path):
    """The 16-bit samples of a wave file's data chunk."""
    data = path.read_bytes()
    pos = 12
    while pos + 8 <= len(data):
        tag, length = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"data":
            return struct.unpack(f"<{length // 2}h", data[pos + 8:pos + 8 + length])
        pos += 8 + length + (length & 1)
    raise AssertionError("no data chunk")


def test_a_plug_in_chosen_in_the_plug_in_dialog_is_applied_as_one_undo_step(amp_editor):
    state = apply_the_amplifier(amp_editor)
    assert state["total"] == FRAMES
    assert state["modified"]


def test_a_plug_in_parameter_set_in_its_dialog_is_applied(amp_editor, audio):
    before = wave_samples(audio)
    apply_the_amplifier(amp_editor, gain="0.5")
    amp_editor.key("ctrl+s")
    amp_editor.wait("the save", lambda s: not s["modified"])
    after = wave_samples(audio)
    assert len(after) == len(before)
    # Gain 0.5 halves every sample (the default, 1, would keep them), within
    # one step of rounding.
    assert max(abs(a - b / 2) for a, b in zip(after, before)) <= 1
