"""Random edit sequences against a plain model of the document: its samples,
selection and markers after every step, undo and redo included, and at the end
no temporary file but the live steps' files.

QEL_MODEL_SEQUENCES sets how many sequences run (default 1000), QEL_MODEL_STEPS
how many steps each takes (default 25)."""
import math
import os
import random

import numpy as np
import pytest
import qelaudio

from store import markers_of, read_store

CHANNELS = 2


class Model:
    def __init__(self, samples):
        self.samples = samples.copy()
        self.start = self.end = 0
        self.selected = 0
        self.markers = []  # [position, length]
        self.num = 0
        self.history = []  # earlier states, for undo
        self.future = []
        self.clip = None

    def state(self):
        return (self.samples.copy(), self.start, self.end, self.selected,
                [m[:] for m in self.markers], self.num)

    def restore(self, s):
        (self.samples, self.start, self.end, self.selected, markers, self.num) = s
        self.markers = [m[:] for m in markers]

    def push(self):
        self.history.append(self.state())
        self.future = []

    # -- selection puts -------------------------------------------------------
    def clamp(self, v):
        return max(0, min(v, len(self.samples)))

    def put_start(self, v):
        b = self.clamp(v)
        if self.selected and b < self.end:
            self.start = b
        else:
            self.start = self.end = b

    def put_end(self, v):
        b = self.clamp(v)
        if not self.selected:
            self.start = self.end = b
        elif b <= self.start:
            self.start, self.end = b, self.start
        else:
            self.end = b

    # -- markers --------------------------------------------------------------
    def insert_marker(self, p, l):
        total = len(self.samples)
        if total == 0:
            return
        p = max(p, 0)
        if p > total:
            return
        if l > total - p:
            l = total - p
        self.markers.append([p, l])
        if self.num == 0:
            self.num = 1

    def delete_marker(self):
        if self.num == 0:
            return
        del self.markers[self.num - 1]
        self.num = min(self.num, len(self.markers))

    def carry(self, p0, p1, c0, c1):
        d0, d1 = p1 - p0, c1 - c0
        deleted = d1 == 0
        r = 0.0 if deleted or d0 == 0 else d1 / d0
        for m in self.markers:
            p, l = m
            e = p + l
            np_, nl = p, l
            if p >= p1:
                np_ = p + d1 - d0
            elif p < p0:
                if p0 < e < p1:
                    nl = p0 - p if deleted else math.trunc((p0 - p) + (e - p0) * r + 0.5)
                elif e > p1:
                    nl = l - d0 if deleted else l - d0 + math.trunc(d0 * r + 0.5)
            elif p > p0:
                if e < p1:
                    if not deleted:
                        np_ = p0 + math.trunc((p - p0) * r + 0.5)
                        nl = math.trunc(l * r + 0.5)
                elif e == p1:
                    if deleted:
                        np_, nl = p0, 0
                else:
                    if deleted:
                        np_, nl = p0, e - p1
                    else:
                        np_ = p0 + math.trunc((p - p0) * r + 0.5)
                        nl = math.trunc(l - (p1 - p) * (1 - r) + 0.5)
            if np_ >= 0:
                m[0] = np_
            if nl >= 0:
                m[1] = nl

    def replace(self, middle, tail_from):
        """The operation frame: head, middle, tail; positions and markers follow."""
        s, e = self.start, self.end
        self.push()
        self.samples = np.concatenate([self.samples[:s], middle, self.samples[tail_from:]])
        d1 = len(middle)
        new_end = e - (e - s) + d1
        self.selected = 1 if self.selected and d1 > 0 else 0
        self.end = new_end if self.selected else s
        self.carry(s, e, s, self.end)


def doc_state(c):
    p = c.Position
    return (read_store(c.FileInfo.TempFileName)[1], p.StartSelect, p.EndSelect,
            1 if p.Selected else 0, [list(m) for m in markers_of(c, "Position", "Length")])


def run_sequence(seed, doc, clip):
    rng = random.Random(seed)
    c = doc.control
    frames = rng.randint(20, 120)
    samples = (np.arange(frames * CHANNELS).reshape(frames, CHANNELS) * 7 % 20000).astype(np.int16)
    doc.open(samples)
    c.Transform.SmoothEnabled = False
    model = Model(samples)
    model.clip = clip  # the clipboard outlives documents
    # The channel flags belong to the control and outlive documents.
    enabled = []
    for k in range(CHANNELS):
        c.Channels.Num = k + 1
        enabled.append(bool(c.Channels.OperationEnabled))
    for step in range(int(os.environ.get("QEL_MODEL_STEPS", "25"))):
        op = rng.choice(["start", "end", "selected", "copy", "cut", "paste", "delete", "trim",
                         "marker", "unmark", "undo", "redo", "zoom", "channel"])
        n = len(model.samples)
        where = f"seed {seed} step {step} {op}"
        if op == "start":
            v = rng.randint(-5, n + 5)
            c.Position.StartSelect = v
            model.put_start(v)
        elif op == "end":
            v = rng.randint(-5, n + 5)
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
                part = model.samples[model.start:model.end]
                if sum(enabled) == 1:
                    part = part[:, [enabled.index(True)]]
                model.clip = part.copy()
        elif op == "cut":
            c.Cut()
            if model.selected:
                model.clip = model.samples[model.start:model.end].copy()
                model.replace(model.samples[:0], model.end)
        elif op == "delete":
            c.DeleteSelect()
            if model.selected:
                model.replace(model.samples[:0], model.end)
        elif op == "trim":
            c.Trim()
            if model.selected and sum(enabled) >= 1:
                s, e = model.start, model.end
                model.push()
                model.samples = model.samples[s:e].copy()
                model.start, model.end, model.selected = 0, e - s, 1
                model.carry(s, e, 0, e - s)
        elif op == "paste":
            if model.clip is None:
                with pytest.raises(qelaudio.ComError):
                    c.Paste()
                continue
            c.Paste()
            if len(model.clip) == 0:
                continue  # an empty clipboard pastes nothing and takes no step
            clip = model.clip
            limit = model.end if model.selected else n
            if clip.shape[1] == 1 and CHANNELS != sum(enabled):
                written = min(len(clip), limit - model.start)
                middle = model.samples[model.start:model.start + written].copy()
                for k in range(CHANNELS):
                    if enabled[k]:
                        middle[:, k] = clip[:written, 0]
                tail = model.end if model.selected else model.start + written
            else:
                if clip.shape[1] == CHANNELS:
                    middle = clip
                else:
                    # a mono clipboard into fully enabled channels goes through the
                    # mixer: each channel gets the mono signal at -3 dB
                    mixed = np.round(clip.astype(np.float64) * math.sqrt(0.5))
                    middle = np.repeat(mixed, CHANNELS, axis=1).astype(np.int16)
                tail = model.end if model.selected else model.start
            model.selected = 1
            model.replace(middle, tail)
        elif op == "marker":
            p, l = rng.randint(-3, n + 3), rng.randint(0, 30)
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
            k = rng.choice([1, 2, -1])
            c.Undo(k)
            count = len(model.history) if k < 0 else min(k, len(model.history))
            for _ in range(count):
                model.future.append(model.state())
                model.restore(model.history.pop())
            model.selected = 1 if model.start != model.end else 0  # the refresh decides
        elif op == "redo":
            k = rng.choice([1, 2])
            c.Redo(k)
            for _ in range(min(k, len(model.future))):
                model.history.append(model.state())
                model.restore(model.future.pop())
            model.selected = 1 if model.start != model.end else 0
        elif op == "zoom":
            rng.choice([c.ZoomIn, c.ZoomFull])()
            # zooming moves through the view stack; the selection of the new level
            # is observed, the samples and markers must not change
            model.start, model.end = c.Position.StartSelect, c.Position.EndSelect
            model.selected = 1 if c.Position.Selected else 0
        got = doc_state(c)
        # Exact but for the mixer's rounding of converted pastes (1 step at most);
        # neighbouring frames differ by 14, so any misplaced frame still shows.
        assert got[0].shape == model.samples.shape, where
        assert np.abs(got[0].astype(np.int32) - model.samples).max(initial=0) <= 1, where
        assert got[1:4] == (model.start, model.end, model.selected), where
        assert got[4] == model.markers, where
    return model


def test_random_edit_sequences_match_the_model(doc, private_temp, tmp_path):
    sequences = int(os.environ.get("QEL_MODEL_SEQUENCES", "1000"))
    clip = None
    for seed in range(sequences):
        model = run_sequence(seed, doc, clip)
        clip = model.clip
        # Every state but the adopted first one is a file of the control's own;
        # discarded redo branches left nothing behind.
        own = [p for p in private_temp.iterdir() if p.suffix == ".qelf"]
        assert len(own) == len(model.history) + len(model.future), f"seed {seed}"
        doc.control.Close()
        left = [p.name for p in private_temp.iterdir() if p.suffix == ".qelf"]
        assert left == [], f"seed {seed}: {left}"
