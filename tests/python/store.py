"""Test helpers: documents made from known samples through OpenFileFromTmp, and
their samples read back from the control's current sample-store file."""
import struct
import wave

import numpy as np

DTYPES = {8: np.uint8, 16: np.int16, 32: np.int32}


def write_store(path, samples, rate=44100, bits=16, mask=None):
    """Writes a sample-store file: the 18- or 40-byte wave-format header and the
    interleaved frames of `samples` (frames x channels)."""
    samples = np.asarray(samples)
    if samples.ndim == 1:
        samples = samples[:, None]
    channels = samples.shape[1]
    align = bits // 8 * channels
    extensible = channels >= 2 and mask is not None and mask >= 1 and mask != 3
    header = struct.pack("<HHIIHHH", 0xFFFE if extensible else 1, channels, rate, align * rate,
                         align, bits, 22 if extensible else 0)
    if extensible:
        header += struct.pack("<HI", 0, mask) + bytes(16)
    path.write_bytes(header + to_bytes(samples, bits))
    return path


def to_bytes(samples, bits):
    if bits == 24:
        v = samples.astype(np.int32).reshape(-1)
        b = np.stack([v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF], axis=1).astype(np.uint8)
        return b.tobytes()
    return samples.astype(DTYPES[bits]).tobytes()


def write_wav(path, samples, rate=44100):
    """A 16-bit wave file of frames x channels samples, as other programs write it."""
    samples = np.asarray(samples, dtype=np.int16)
    if samples.ndim == 1:
        samples = samples[:, None]
    with wave.open(str(path), "wb") as w:
        w.setnchannels(samples.shape[1])
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.tobytes())
    return path


def ramp(frames, channels=2):
    """Distinct samples in each channel, so that misplaced frames or channels show."""
    base = np.arange(frames, dtype=np.int32)
    return np.stack([base * (c + 1) % 30000 for c in range(channels)], axis=1).astype(np.int16)


def markers_of(control, *fields):
    """The markers in their order (numbered from 1), each a tuple of the fields asked for."""
    m = control.Markers
    found = []
    for i in range(1, m.Count + 1):
        m.Num = i
        found.append(tuple(getattr(m, field) for field in fields))
    return found


def files_in(folder):
    return sorted(p.name for p in folder.iterdir())


def read_store(path):
    """(format, frames x channels array) of a sample-store file."""
    data = open(path, "rb").read()
    tag, channels, rate, _, _, bits, extra = struct.unpack_from("<HHIIHHH", data)
    header = 18 + (extra if tag == 0xFFFE else 0)
    body = data[header:]
    if bits == 24:
        b = np.frombuffer(body, np.uint8).reshape(-1, 3).astype(np.int32)
        v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
        v = np.where(v >= 1 << 23, v - (1 << 24), v)
    else:
        v = np.frombuffer(body, DTYPES[bits])
    return (rate, channels, bits), v.reshape(-1, channels)


class Document:
    """A control with a document of known samples."""

    def __init__(self, control, folder):
        self.control = control
        self.folder = folder
        self.count = 0

    def open(self, samples, rate=44100, bits=16, mask=None):
        self.count += 1
        path = write_store(self.folder / f"source{self.count}.qelf", samples, rate, bits, mask)
        self.control.OpenFileFromTmp(str(path), 0, 0, 0, 0)
        return path

    def samples(self):
        return read_store(self.control.FileInfo.TempFileName)[1]

    def selection(self):
        p = self.control.Position
        return p.StartSelect, p.EndSelect

    def select(self, start, end):
        p = self.control.Position
        p.Selected = True
        p.StartSelect = start
        p.EndSelect = end
