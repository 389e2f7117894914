#!/usr/bin/env python3
"""The first picture after an edit of a long document, and the memory the
control needs on the way.

A one-hour stereo 16-bit 44.1 kHz document (QEL_BENCH_SECONDS changes the
length; a tone whose loudness changes every second) is adopted and shown in a
1920 x 600 headless window. Three times, a one-minute range in the middle is
deleted; the edit and the next paint are timed separately. The peak resident
memory of the process over the whole run is printed beside the size of the
document. Run from the build folder:

    PYTHONPATH=python /usr/bin/python3 ../bench/editing/first_picture.py
"""
import math
import os
import resource
import shutil
import struct
import sys
import tempfile
import time

import numpy as np
import qelaudio

RATE, CHANNELS, BITS = 44100, 2, 16
ALIGN = CHANNELS * BITS // 8


def make_document(path, seconds):
    header = struct.pack("<HHIIHHH", 1, CHANNELS, RATE, RATE * ALIGN, ALIGN, BITS, 0)
    t = np.arange(RATE)
    with open(path, "wb") as f:
        f.write(header)
        for s in range(seconds):
            level = 3000 + 27000 * (0.5 + 0.5 * math.sin(s * 0.7))
            wave = (np.sin(t * (2 * math.pi * 440 / RATE)) * level).astype(np.int16)
            f.write(np.repeat(wave[:, None], CHANNELS, axis=1).tobytes())


def main():
    seconds = int(os.environ.get("QEL_BENCH_SECONDS", "3600"))
    work = tempfile.mkdtemp(prefix="qelbench-")
    os.environ["TMPDIR"] = work
    try:
        # Made after the control, whose start clears stale files of its own name.
        control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
        path = os.path.join(work, "qeldocument.qelf")
        make_document(path, seconds)
        size = os.path.getsize(path)
        control.UndoRedoCount = 4
        start = time.perf_counter()
        control.OpenFileFromTmp(path, 0, 0, 0, 0)
        window = qelaudio.HeadlessWindow(control, 1920, 600)
        window.paint()
        first = time.perf_counter() - start
        position = control.Position
        middle = seconds // 2 * RATE
        edits, pictures = [], []
        for _ in range(3):
            position.Selected = True
            position.StartSelect = middle
            position.EndSelect = middle + 60 * RATE
            start = time.perf_counter()
            control.DeleteSelect()
            edits.append(time.perf_counter() - start)
            start = time.perf_counter()
            window.paint()
            pictures.append(time.perf_counter() - start)
        start = time.perf_counter()
        control.Undo(1)
        window.paint()
        undo = time.perf_counter() - start
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"document: {seconds} s stereo 16-bit 44.1 kHz, {size / 1e6:.0f} MB")
        print(f"open and first picture      {first * 1000:9.1f} ms")
        print(f"DeleteSelect of one minute  {sorted(edits)[1] * 1000:9.1f} ms (median of 3)")
        print(f"first picture after it      {sorted(pictures)[1] * 1000:9.1f} ms (median of 3)")
        print(f"Undo and its picture        {undo * 1000:9.1f} ms")
        print(f"peak resident memory        {peak:9.1f} MB")
        del window
        control.Close()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
