#!/usr/bin/env python3
"""Effects of the control on a long document, side by side with sox.

A one-hour stereo 16-bit 44.1 kHz WAV of pink noise (QEL_BENCH_SECONDS sets the
length) is opened once; the effects without a sox counterpart (noise removal,
FFT filter) are given as multiples of real time; then, QEL_BENCH_RUNS (5) times and interleaved with the
same effect done by sox on the same file, each effect runs over a selection of
the whole document (file to file: the document's sample store in, a new one
out) and is undone again. `sync` runs before every timed run; the figures are
medians. From the build folder:

    PYTHONPATH=python /usr/bin/python3 ../bench/effects/run.py

The peak resident memory of this process is printed at the end: it must not
grow with the document's length.
"""
import os
import resource
import shutil
import statistics
import subprocess
import tempfile
import time

import qelaudio

EFFECTS = [
    # name, the control's call, the sox effect doing the same
    ("amplify 150 %", lambda t: t.Amplify(150), ["vol", "1.5"]),
    ("high-pass 1 kHz", lambda t: t.HighPassFilter(1000, 0.7071), ["highpass", "1000"]),
    ("reverb", lambda t: t.Reverb(20, 30, 50, 50, 5000, 4), ["reverb"]),
    ("compressor 4:1 at -18 dB", lambda t: t.Compressor(-18, 0, 4, 50),
     ["compand", "0.005,0.1", "-90,-90,-18,-18,0,-13.5", "0"]),
    ("time stretch 1.25", lambda t: t.TimeStretch(1.25), ["tempo", "1.25"]),
    ("pitch shift +3 semitones", lambda t: t.PitchShift(2 ** (3 / 12)), ["pitch", "300"]),
    # No sox effect does these; they are measured against real time.
    ("noise removal", lambda t: t.NoiseRemove(12, 2048, ""), None),
    ("FFT filter", lambda t: t.FFTFilter([0.0, -12.0, 6.0], [200.0, 1000.0, 5000.0], 4096, 1, 0),
     None),
]


def quiet(*cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(fn):
    os.sync()
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def main():
    seconds = int(os.environ.get("QEL_BENCH_SECONDS", "3600"))
    runs = int(os.environ.get("QEL_BENCH_RUNS", "5"))
    work = tempfile.mkdtemp(prefix="qeleffectsbench-")
    os.environ["TMPDIR"] = work
    try:
        wav = os.path.join(work, "in.wav")
        out = os.path.join(work, "out.wav")
        quiet("ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i",
              f"anoisesrc=d={seconds}:c=pink:r=44100:a=0.3", "-ac", "2", "-c:a", "pcm_s16le", wav)
        control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
        control.UndoRedoCount = 1
        control.OpenFile(wav, -1, 0, 0, 0, 0, 0)
        frames = control.Position.TotalSamples
        transform = control.Transform
        print(f"{seconds} s of stereo 16-bit 44.1 kHz pink noise; median of {runs}, interleaved")
        rows = []
        for name, call, sox_effect in EFFECTS:
            sox_times, control_times = [], []
            for _ in range(runs):
                if sox_effect:
                    sox_times.append(timed(lambda: quiet("sox", wav, out, *sox_effect)))
                    os.remove(out)
                control.Position.Selected = True
                control.Position.StartSelect = 0
                control.Position.EndSelect = frames
                control_times.append(timed(lambda: call(transform)))
                control.Undo(1)
            c = statistics.median(control_times)
            if sox_effect:
                s = statistics.median(sox_times)
                print(f"sox {name}  {s:.3f} s")
                print(f"control {name}  {c:.3f} s  {s / c:.2f} x as fast as sox")
                rows.append(f"| {name} | {s:.2f} s | {c:.2f} s | {s / c:.2f} |")
            else:
                print(f"control {name}  {c:.3f} s  {seconds / c:.0f} x real time")
                rows.append(f"| {name} | — | {c:.2f} s | {seconds / c:.0f} × real time |")
        print("| effect | sox | control | sox / control |")
        print("|---|---|---|---|")
        print("\n".join(rows))
        control.Close()
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"peak resident memory of the control's process: {peak:.0f} MB")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
