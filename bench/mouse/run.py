#!/usr/bin/env python3
"""Mouse drags through the control: time from a pointer-move message to the
finished picture.

A one-hour stereo 16-bit 44.1 kHz document (QEL_BENCH_SECONDS changes the
length; a tone whose loudness changes every second) is shown in a 1920 x 600
headless window. Three kinds of pointer moves are timed, each move followed by
the paint a host would do before the next one:

  select drag    a left-button drag across the whole waveform at full view
                 (the selection follows the pointer: present layer only)
  slider drag    the slider of a five-minute view dragged across the strip
                 (the view moves: column data from the overview, compose)
  property put   the same selections put through Position.EndSelect, the
                 reference for what the picture alone costs

The three run interleaved, one sweep of each per round, with `sync` between
rounds; each figure is the median (and 99th percentile) of every move of every
round. Run from the build folder:

    PYTHONPATH=python /usr/bin/python3 ../bench/mouse/run.py
"""
import math
import os
import shutil
import struct
import subprocess
import tempfile
import time

import numpy as np
import qelaudio

RATE, CHANNELS, BITS = 44100, 2, 16
ALIGN = CHANNELS * BITS // 8
WIDTH, HEIGHT = 1920, 600
LEFT = 0x1
LANE_Y = 150
ROUNDS = 5


def make_document(path, seconds):
    header = struct.pack("<HHIIHHH", 1, CHANNELS, RATE, RATE * ALIGN, ALIGN, BITS, 0)
    t = np.arange(RATE)
    with open(path, "wb") as f:
        f.write(header)
        for s in range(seconds):
            level = 3000 + 27000 * (0.5 + 0.5 * math.sin(s * 0.7))
            wave = (np.sin(t * (2 * math.pi * 440 / RATE)) * level).astype(np.int16)
            f.write(np.repeat(wave[:, None], CHANNELS, axis=1).tobytes())


def timed(action, window):
    start = time.perf_counter()
    action()
    window.paint()
    return time.perf_counter() - start


def select_sweep(window, xs):
    times = []
    window.mouse_down(1, 0, xs[0], LANE_Y)
    window.paint()
    for x in xs[1:]:
        times.append(timed(lambda: window.mouse_move(LEFT, x, LANE_Y), window))
    window.mouse_up(1, 0, xs[-1], LANE_Y)
    window.paint()
    return times


def put_sweep(control, window, frames, xs):
    position = control.Position
    position.Selected = True
    position.StartSelect = 0
    times = []
    for x in xs[1:]:
        end = frames * (x - xs[0]) // (xs[-1] - xs[0])

        def put(end=end):
            position.EndSelect = end
        times.append(timed(put, window))
    return times


def slider_sweep(control, window, frames, xs):
    control.ZoomFull()
    control.Zoom(0, 300 * RATE)
    window.paint()
    times = []
    # The slider of five minutes of an hour starts at the left end of the strip.
    x = 4
    window.mouse_down(1, 0, x, 3)
    for step in range(0, len(xs) - 1):
        x = 4 + step
        times.append(timed(lambda x=x: window.mouse_move(LEFT, x, 3), window))
    window.mouse_up(1, 0, x, 3)
    control.ZoomFull()
    window.paint()
    return times


def stats(times):
    ordered = sorted(times)
    median = ordered[len(ordered) // 2]
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return median * 1000, p99 * 1000


def main():
    seconds = int(os.environ.get("QEL_BENCH_SECONDS", "3600"))
    work = tempfile.mkdtemp(prefix="qelbench-")
    os.environ["TMPDIR"] = work
    try:
        control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
        path = os.path.join(work, "qeldocument.qelf")
        make_document(path, seconds)
        control.OpenFileFromTmp(path, 0, 0, 0, 0)
        window = qelaudio.HeadlessWindow(control, WIDTH, HEIGHT)
        window.paint()  # the overview is built here, once
        frames = control.Position.TotalSamples
        xs = list(range(10, WIDTH - 60, 2))
        results = {"select drag": [], "slider drag": [], "property put": []}
        for _ in range(ROUNDS):
            subprocess.run(["sync"], check=False)
            results["select drag"] += select_sweep(window, xs)
            subprocess.run(["sync"], check=False)
            results["slider drag"] += slider_sweep(control, window, frames, xs)
            subprocess.run(["sync"], check=False)
            results["property put"] += put_sweep(control, window, frames, xs)
        print(f"document: {seconds} s stereo 16-bit 44.1 kHz in {WIDTH} x {HEIGHT}, "
              f"{ROUNDS} rounds of {len(xs) - 1} moves")
        for name, times in results.items():
            median, p99 = stats(times)
            print(f"{name} median  {median:8.3f} ms")
            print(f"{name} p99     {p99:8.3f} ms")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
