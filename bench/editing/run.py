#!/usr/bin/env python3
"""Side-by-side timing of the clip operations on a long document.

A one-hour stereo 16-bit 44.1 kHz document (QEL_BENCH_SECONDS changes the
length) is adopted with OpenFileFromTmp; DeleteSelect, Cut and Paste of a
one-minute range each run against `cp` of the same file, and Undo and Redo
against the DeleteSelect before them. Run from the build folder:

    PYTHONPATH=python /usr/bin/python3 ../bench/editing/run.py
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

import qelaudio

RATE, CHANNELS, BITS = 44100, 2, 16
ALIGN = CHANNELS * BITS // 8


def make_document(path, seconds):
    header = struct.pack("<HHIIHHH", 1, CHANNELS, RATE, RATE * ALIGN, ALIGN, BITS, 0)
    second = os.urandom(RATE * ALIGN)
    with open(path, "wb") as f:
        f.write(header)
        for _ in range(seconds):
            f.write(second)


def best(fn, runs=3):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    seconds = int(os.environ.get("QEL_BENCH_SECONDS", "3600"))
    work = tempfile.mkdtemp(prefix="qelbench-")
    os.environ["TMPDIR"] = work
    try:
        source = os.path.join(work, "document.qelf")
        make_document(source, seconds)
        size = os.path.getsize(source)
        copy = os.path.join(work, "copy.bin")

        def cp():
            subprocess.run(["cp", source, copy], check=True)
            os.remove(copy)

        subprocess.run(["sync"])
        t_cp = best(cp)

        control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
        control.UndoRedoCount = 2  # keep the disk use bounded
        control.Transform.SmoothEnabled = False
        # Adopt a copy: the benchmark's source stays for cp.
        adopted = os.path.join(work, "qeladopted.qelf")
        shutil.copyfile(source, adopted)
        control.OpenFileFromTmp(adopted, 0, 0, 0, 0)
        position = control.Position
        middle = seconds // 2 * RATE

        def select_minute():
            position.Selected = True
            position.StartSelect = middle
            position.EndSelect = middle + 60 * RATE

        results = {}

        def timed(name, fn, undo=True):
            def run():
                select_minute()
                fn()
            times = []
            for _ in range(3):
                start = time.perf_counter()
                run()
                times.append(time.perf_counter() - start)
                if undo:
                    control.Undo(1)
            results[name] = min(times)

        timed("DeleteSelect", control.DeleteSelect)
        timed("Cut", control.Cut)
        control.Copy()
        timed("Paste", control.Paste)
        select_minute()
        control.DeleteSelect()
        results["Undo"] = best(lambda: (control.Undo(1), control.Redo(1))) / 2

        print(f"document: {seconds} s stereo 16-bit 44.1 kHz, {size / 1e6:.0f} MB")
        print(f"{'cp':14s} {t_cp * 1000:9.1f} ms")
        for name, t in results.items():
            base = results["DeleteSelect"] if name == "Undo" else t_cp
            against = "DeleteSelect" if name == "Undo" else "cp"
            print(f"{name:14s} {t * 1000:9.3f} ms  {t / base:8.5f} x {against}")
        control.Close()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
