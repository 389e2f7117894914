"""A short tour of the audio-editing control through the late-bound Python client:
a document is made, filled from a generated file, edited, marked, processed by
effects and a LADSPA plug-in, mixed with a file, exchanged through the
clipboard and as sample arrays, drawn, selected with the mouse, played into a
file device, an effect previewed there, saved as WAV and FLAC, opened again,
and shown in the desktop editor on a virtual X server."""
import json
import math
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import wave

import numpy as np
import qelaudio

RATE = 44100


class Events:
    def __init__(self):
        self.ended = 0

    def OnEndOperation(self):
        self.ended += 1


class Played:
    def __init__(self):
        self.ended = False

    def OnEndPlay(self):
        self.ended = True


def write_tone(path, seconds=3.0):
    """A stereo 16-bit WAV: 440 Hz on the left, 660 Hz on the right."""
    frames = int(RATE * seconds)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        data = bytearray()
        for n in range(frames):
            t = n / RATE
            data += struct.pack("<hh", int(12000 * math.sin(2 * math.pi * 440 * t)),
                                int(12000 * math.sin(2 * math.pi * 660 * t)))
        w.writeframes(bytes(data))


def describe(control, title):
    info = control.FileInfo
    print(f"{title}:")
    print(f"  {info.FormatString}, {control.Position.TotalSamples} frames, "
          f"{info.Duration:.1f} ms, file type {info.OriginalFileType}")
    if info.OriginalFileName:
        print(f"  from {info.OriginalFileName}")
    markers = control.Markers
    for i in range(1, markers.Count + 1):
        markers.Num = i
        print(f"  marker {i}: '{markers.Label}' at {markers.Position}, length {markers.Length}")


def wait_for(check, limit=10.0):
    end = time.monotonic() + limit
    while not check():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


def editor_picture(document, folder):
    """The desktop editor showing the document on a virtual X server (Xvfb), its
    window written as PNG; None when Xvfb or the editor is not there."""
    beside = os.path.join(os.path.dirname(qelaudio.__file__), os.pardir, "bin", "qel-editor")
    editor = os.path.normpath(beside) if os.path.exists(beside) else shutil.which("qel-editor")
    if not editor or not shutil.which("Xvfb"):
        return None
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read, "rb") as pipe:
        display = pipe.readline().decode().strip()
    report = os.path.join(folder, "editor-report.json")
    picture = os.path.join(folder, "editor.png")
    env = dict(os.environ, DISPLAY=":" + display, GDK_BACKEND="x11",
               XDG_CONFIG_HOME=os.path.join(folder, "config"))
    window = subprocess.Popen([editor, "--report", report, "--snapshot", picture, document],
                              env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def shown():
        try:
            return json.load(open(report))["path"] == document
        except (OSError, ValueError):
            return False
    try:
        if display and wait_for(shown):
            window.send_signal(signal.SIGUSR1)
            if wait_for(lambda: os.path.exists(picture)):
                return picture
        return None
    finally:
        window.terminate()
        window.wait()
        server.terminate()
        server.wait()


def main():
    folder = tempfile.mkdtemp(prefix="qeldemo-")
    control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    events = Events()
    qelaudio.connect(control, events)
    print(f"Created QelAudioEditor4.AudioEditor (Status {control.Status}, "
          f"UndoRedoCount {control.UndoRedoCount}, temporary folder {control.TempDirectory})")

    control.New(RATE, 2, 16, 3)
    describe(control, "New document")

    tone = os.path.join(folder, "tone.wav")
    write_tone(tone)
    control.OpenFile(tone, -1, 0, 0, 0, 0, 0)
    describe(control, "Opened a generated tone")

    position = control.Position
    position.Selected = True
    position.StartSelect = RATE // 2
    position.EndSelect = RATE
    control.Cut()
    position.Current = 2 * RATE
    control.Paste()
    control.Markers.Insert(0, RATE // 2, "intro", "the first half second")
    control.Markers.Insert(position.StartSelect, 0, "pasted", "where the cut half second went")
    print(f"Cut and pasted half a second; undo list {control.UndoList}, "
          f"selection [{position.StartSelect}, {position.EndSelect})")

    # Effects run over the selection one second at a time; each is one undo step.
    transform = control.Transform
    position.StartSelect, position.EndSelect = 0, RATE // 2
    transform.Fade(0, 100, 0)  # fade in over the first half second
    position.StartSelect, position.EndSelect = RATE, 2 * RATE
    transform.Reverb(30, 40, 60, 60, 6000, 4)  # its tail rings on past the selection
    position.StartSelect, position.EndSelect = 2 * RATE, position.TotalSamples
    transform.Compressor(-20, 4, 4, 30)
    transform.HighPassFilter(800, 0.7071)
    print(f"Faded in, added reverb, compressed and filtered; undo list {control.UndoList}")

    # Third-party plug-ins: the LADSPA SDK's from Debian, listed and run as one
    # more effect (code 80 in the undo list).
    control.DXTransformEnabled = True
    dx = control.DXTransform
    dx.LoadLibraries(1)
    plugins = []
    for i in range(dx.Count):
        dx.FilterNum = i
        plugins.append(dx.Name)
    dx.FilterNum = plugins.index("Simple Low Pass Filter")
    dx.Active = True
    position.StartSelect, position.EndSelect = RATE // 2, RATE
    dx.Process()
    dx.Active = False
    print(f"{len(plugins)} LADSPA plug-ins found; ran '{plugins[dx.FilterNum]}' over half a "
          f"second; undo list {control.UndoList}")

    # Outside audio comes in by mixing or pasting a file (converted to the
    # document's format on the way), and goes out through the clipboard and as
    # sample arrays.
    position.StartSelect, position.EndSelect = 0, RATE
    control.MixFromFile(tone, 50, 100)  # the tone at half level over the first second
    position.Selected = False
    position.Current = position.TotalSamples
    control.PasteFromFile(tone)  # appended at the end
    print(f"Mixed the tone into the first second and pasted it at the end; "
          f"now {position.TotalSamples} frames")
    position.StartSelect, position.EndSelect = RATE, RATE + RATE // 10
    control.CopyToClipboard()
    wav = qelaudio.get_clipboard("audio/wav")
    other = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    other.New(22050, 1, 8, 3)
    other.PasteFromClipboard()  # into an 8-bit mono document at another rate
    print(f"Copied 0.1 s to the clipboard as a {len(wav)}-byte RIFF WAVE image; "
          f"another control pasted it as {other.Position.TotalSamples} frames of "
          f"{other.FileInfo.FormatString}")
    other.Close()
    del other
    samples = qelaudio.audio_array(control.GetAudioArray(RATE // 100))
    print(f"GetAudioArray: {samples.shape[0]} frames x {samples.shape[1]} channels of "
          f"{samples.dtype}, peak {int(abs(samples).max())}")

    # The control draws itself into a window: here a headless one, saved as PNG.
    window = qelaudio.HeadlessWindow(control, 800, 300)
    control.Markers.Num = 1
    position.StartSelect = RATE
    position.EndSelect = 2 * RATE
    picture = os.path.join(folder, "edited.png")
    window.snapshot(picture)
    print(f"Picture of the edited document with its markers and selection: {picture}")

    # A drag across the waveform selects, as a person's mouse would.
    window.mouse_down(1, 0, 200, 150)
    window.mouse_move(1, 400, 150)
    window.mouse_up(1, 0, 400, 150)
    print(f"Dragged across the waveform from x=200 to x=400: selection "
          f"[{position.StartSelect}, {position.EndSelect})")

    # Playback through ALSA into a file device (no sound card needed): what
    # would be heard lands in a raw file, sample for sample, in real time.
    heard = os.path.join(folder, "heard.raw")
    conf = os.path.join(folder, "alsa-devices.conf")
    with open(conf, "w") as f:
        f.write(f'pcm.demo_out {{ type file slave.pcm "null" file "{heard}" format "raw"\n'
                '  hint { show on description "demonstration output" } }\n')
    os.environ["ALSA_CONFIG_PATH"] = f"/usr/share/alsa/alsa.conf:{conf}"
    device = control.Playback.Device
    for i in range(device.Count):
        device.Num = i
        if device.Name == "demo_out":
            break
    position.StartSelect, position.EndSelect = RATE, RATE + RATE // 2
    played = Played()
    connection = qelaudio.connect(control, played)
    control.Play(1, 0)
    qelaudio.run_messages(control, 5, lambda: played.ended)
    del connection
    expected = bytes(qelaudio.audio_array(control.GetAudioArray(RATE // 2)))
    print(f"Played half a second into an ALSA file device: {os.path.getsize(heard)} bytes, "
          f"{'identical to' if open(heard, 'rb').read() == expected else 'DIFFERENT from'} "
          f"the selection's samples")

    # An effect previewed: played through the same device instead of written.
    control.PreviewMode = 1
    played.ended = False
    connection = qelaudio.connect(control, played)
    before = control.UndoList
    transform.Amplify(50)
    qelaudio.run_messages(control, 5, lambda: played.ended)
    del connection
    control.PreviewMode = 0
    preview = open(heard, "rb").read()
    transform.Amplify(50)  # for real this time, to compare
    written = bytes(qelaudio.audio_array(control.GetAudioArray(RATE // 2)))
    control.Undo(1)
    print(f"Previewed Amplify(50 %) through the same device: "
          f"{'identical to' if preview == written else 'DIFFERENT from'} what the effect "
          f"writes; undo list unchanged: {control.UndoList == before}")

    for name, file_type in (("edited.wav", 37), ("edited.flac", 41)):
        path = os.path.join(folder, name)
        control.SaveFile(path, False, 0, file_type)
        print(f"Saved {path} ({os.path.getsize(path)} bytes)")
    for name in ("edited.wav", "edited.flac"):
        control.OpenFile(os.path.join(folder, name), -1, 0, 0, 0, 0, 0)
        describe(control, f"Reopened {name}")

    picture = editor_picture(os.path.join(folder, "edited.wav"), folder)
    print(f"The desktop editor showing edited.wav: {picture}" if picture else
          "The desktop editor: skipped (it needs Xvfb and the built qel-editor)")

    print("A failing call raises with the control's result code and message:")
    try:
        control.TempDirectory = "/no/such/folder/"
    except qelaudio.ComError as error:
        print(f"  ComError 0x{error.hresult:08X} from {error.source}: {error.description}")
    print(f"EndOperation events received: {events.ended}")
    control.Close()
    print(f"Output kept in {folder}")


if __name__ == "__main__":
    main()
