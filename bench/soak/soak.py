"""Soak: a long run of random edits with undo and redo on a ten-minute document,
checked against the plain model of the document the tests use
(tests/python/test_edit_model.py), with the process's memory and open file
descriptors sampled every 1,000 steps.

Every step compares the selection, the length and the markers; every 1,000
steps the samples too. It prints the figures and fails (exit 1) on any mismatch,
or when memory or descriptors keep growing: the last quarter of the samples may
not sit above the first quarter's peak by more than the allowance below.

    PYTHONPATH=build/python /usr/bin/python3 bench/soak/soak.py

QEL_SOAK_STEPS (100000), QEL_SOAK_SECONDS (600, the document's length at 8 kHz
stereo) and QEL_SOAK_SEED (1) change the run."""
import math
import os
import random
import shutil
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "tests" / "python"))

import qelaudio  # noqa: E402
from store import Document  # noqa: E402
from test_edit_model import Model  # noqa: E402

RATE = 8000
CHANNELS = 2
HISTORY = 20  # undo steps kept: bounds the temporary folder to ~21 documents
CHECK_EVERY = 1000
RSS_ALLOWANCE_KB = 16 * 1024
FD_ALLOWANCE = 0


class Segments:
    """The model's samples as pieces of immutable arrays: a ten-minute document
    is edited and kept in its history without copying it on every step."""

    def __init__(self, parts):
        self.parts = [p for p in parts if p[2] > p[1]]
        self.length = sum(b - a for _, a, b in self.parts)
        self.shape = (self.length, CHANNELS)

    @staticmethod
    def of(array):
        return Segments([(array, 0, len(array))])

    def __len__(self):
        return self.length

    def __getitem__(self, index):
        start, stop, _ = index.indices(self.length)
        out, at = [], 0
        for array, a, b in self.parts:
            lo, hi = max(start, at), min(stop, at + b - a)
            if lo < hi:
                out.append((array, a + lo - at, a + hi - at))
            at += b - a
            if at >= stop:
                break
        return Segments(out)

    def copy(self):
        return self  # pieces are never written

    def concat(self, *others):
        parts = list(self.parts)
        for o in others:
            parts += o.parts
        return Segments(parts)

    def array(self):
        if not self.parts:
            return np.zeros((0, CHANNELS), np.int16)
        return np.concatenate([array[a:b] for array, a, b in self.parts])


class SoakModel(Model):
    def push(self):
        super().push()
        del self.history[:-HISTORY]

    def replace(self, middle, tail_from):
        if isinstance(middle, np.ndarray):
            middle = Segments.of(middle)
        s, e = self.start, self.end
        self.push()
        self.samples = self.samples[:s].concat(middle, self.samples[tail_from:])
        d1 = len(middle)
        self.selected = 1 if self.selected and d1 > 0 else 0
        self.end = s + d1 if self.selected else s
        self.carry(s, e, s, self.end)


def resources():
    rss = 0
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    return rss, len(os.listdir("/proc/self/fd"))


def cheap_state(c):
    p, m = c.Position, c.Markers
    markers = []
    for i in range(1, m.Count + 1):
        m.Num = i
        markers.append([m.Position, m.Length])
    return p.TotalSamples, p.StartSelect, p.EndSelect, 1 if p.Selected else 0, markers


def source(frames, seed):
    rng = np.random.default_rng(seed)
    return (rng.integers(-20000, 20000, size=(frames, CHANNELS))).astype(np.int16)


def main():
    steps = int(os.environ.get("QEL_SOAK_STEPS", "100000"))
    seconds = float(os.environ.get("QEL_SOAK_SECONDS", "600"))
    seed = int(os.environ.get("QEL_SOAK_SEED", "1"))
    work = Path(tempfile.mkdtemp(prefix="qelsoak-"))
    (work / "temp").mkdir()
    os.environ["TMPDIR"] = str(work / "temp")
    os.environ["QEL_LOCK_DIR"] = str(work)
    c = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    c.UndoRedoCount = HISTORY
    doc = Document(c, work)
    frames = int(seconds * RATE)
    rng = random.Random(seed)
    opens = 0

    def reopen():
        nonlocal opens
        opens += 1
        samples = source(frames, seed * 1000 + opens)
        for old in work.glob("source*.qelf"):
            old.unlink()
        doc.open(samples, rate=RATE)
        c.Transform.SmoothEnabled = False
        m = SoakModel(samples)
        m.samples = Segments.of(samples)
        m.clip = model.clip if model else None
        return m

    model = None
    model = reopen()
    enabled = [True] * CHANNELS
    for k in range(CHANNELS):
        c.Channels.Num = k + 1
        c.Channels.OperationEnabled = True
    figures = []
    started = time.monotonic()
    longest = 2 * RATE  # selections up to two seconds keep each step's copy small

    for step in range(1, steps + 1):
        n = len(model.samples)
        op = rng.choices(["start", "end", "selected", "copy", "cut", "paste", "delete", "trim",
                          "marker", "unmark", "undo", "redo", "channel"],
                         weights=[12, 12, 4, 8, 4, 8, 4, 1, 6, 5, 10, 8, 3])[0]
        if op == "start":
            v = rng.randint(-5, n + 5)
            c.Position.StartSelect = v
            model.put_start(v)
        elif op == "end":
            v = model.start + rng.randint(-5, longest)
            c.Position.EndSelect = v
            model.put_end(v)
        elif op == "selected":
            v = rng.choice([0, -1])
            c.Position.Selected = bool(v)
            model.selected = 1 if v else 0
        elif op == "channel":
            k = rng.randrange(CHANNELS)
            enabled[k] = not enabled[k]
            c.Channels.Num = k + 1
            c.Channels.OperationEnabled = enabled[k]
        elif op == "copy":
            c.Copy()
            if model.selected:
                part = model.samples[model.start:model.end].array()
                if sum(enabled) == 1:
                    part = part[:, [enabled.index(True)]]
                model.clip = part.copy()
        elif op in ("cut", "delete"):
            getattr(c, "Cut" if op == "cut" else "DeleteSelect")()
            if model.selected:
                if op == "cut":
                    model.clip = model.samples[model.start:model.end].array()
                model.replace(Segments([]), model.end)
        elif op == "trim":
            # The middle four fifths: the document shrinks slowly, and a new one
            # is opened once it is down to a quarter.
            c.Position.Selected = True
            c.Position.StartSelect = n // 10
            c.Position.EndSelect = n - n // 10
            model.selected = 1
            model.put_start(n // 10)
            model.put_end(n - n // 10)
            c.Trim()
            if model.selected and sum(enabled) >= 1:
                s, e = model.start, model.end
                model.push()
                model.samples = model.samples[s:e]
                model.start, model.end, model.selected = 0, e - s, 1
                model.carry(s, e, 0, e - s)
        elif op == "paste":
            if model.clip is None:
                continue
            c.Paste()
            if len(model.clip) == 0:
                continue  # an empty clipboard pastes nothing and takes no step
            clip = model.clip
            limit = model.end if model.selected else n
            if clip.shape[1] == 1 and CHANNELS != sum(enabled):
                written = min(len(clip), limit - model.start)
                middle = model.samples[model.start:model.start + written].array().copy()
                for k in range(CHANNELS):
                    if enabled[k]:
                        middle[:, k] = clip[:written, 0]
                tail = model.end if model.selected else model.start + written
            else:
                if clip.shape[1] == CHANNELS:
                    middle = clip
                else:
                    mixed = np.round(clip.astype(np.float64) * math.sqrt(0.5))
                    middle = np.repeat(mixed, CHANNELS, axis=1).astype(np.int16)
                tail = model.end if model.selected else model.start
            model.selected = 1
            model.replace(middle, tail)
        elif op == "marker":
            if len(model.markers) >= 40:
                continue
            p, l = rng.randint(-3, n + 3), rng.randint(0, longest)
            c.Markers.Insert(p, l, "", "")
            model.insert_marker(p, l)
        elif op == "unmark":
            if model.markers:
                k = rng.randint(1, len(model.markers))
                c.Markers.Num = k
                model.num = k
            c.Markers.Delete()
            model.delete_marker()
        elif op == "undo":
            k = rng.choice([1, 2])
            c.Undo(k)
            for _ in range(min(k, len(model.history))):
                model.future.append(model.state())
                model.restore(model.history.pop())
            model.selected = 1 if model.start != model.end else 0
        elif op == "redo":
            k = rng.choice([1, 2])
            c.Redo(k)
            for _ in range(min(k, len(model.future))):
                model.history.append(model.state())
                model.restore(model.future.pop())
            model.selected = 1 if model.start != model.end else 0

        where = f"seed {seed} step {step} ({op})"
        got = cheap_state(c)
        want = (len(model.samples), model.start, model.end, model.selected, model.markers)
        if got != want:
            print(f"MISMATCH at {where}: control {got[:4]}, model {want[:4]}")
            if got[4] != want[4]:
                print(f"  markers: control {got[4]}, model {want[4]}")
            return 1
        if step % CHECK_EVERY == 0:
            samples = doc.samples()
            if not np.array_equal(samples, model.samples.array()):
                print(f"MISMATCH of the samples at {where}")
                return 1
            rss, fds = resources()
            files = len(list((work / "temp").iterdir()))
            figures.append((step, rss, fds, files))
            print(f"step {step:>7}: {len(model.samples):>8} frames, RSS {rss / 1024:7.1f} MB, "
                  f"{fds} descriptors, {files} temporary files, "
                  f"{time.monotonic() - started:7.1f} s", flush=True)
        if len(model.samples) < frames // 4:
            model = reopen()

    c.Close()
    del c
    shutil.rmtree(work, ignore_errors=True)
    if len(figures) >= 4:
        quarter = max(1, len(figures) // 4)
        first, last = figures[:quarter], figures[-quarter:]
        rss_growth = min(f[1] for f in last) - max(f[1] for f in first)
        fd_growth = min(f[2] for f in last) - max(f[2] for f in first)
        print(f"peak RSS {max(f[1] for f in figures) / 1024:.1f} MB, final {figures[-1][1] / 1024:.1f}"
              f" MB; descriptors peak {max(f[2] for f in figures)}, final {figures[-1][2]}")
        if rss_growth > RSS_ALLOWANCE_KB or fd_growth > FD_ALLOWANCE:
            print(f"GROWTH: memory +{rss_growth} kB, descriptors +{fd_growth} over the run")
            return 1
    print(f"{steps} steps matched the model in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
