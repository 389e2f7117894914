"""The control in a headless window from Python: its picture as PNG, repaints
after changes, and the view's settings objects through late binding."""
import struct
import zlib

import numpy as np
import pytest
import qelaudio

DIGITAL = 0xFF1CF0AB


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    width, height = struct.unpack(">II", data[16:24])
    return width, height


def png_pixel(path, x, y):
    """0xRRGGBB of one pixel of an 8-bit RGB PNG (the view's pictures are opaque)."""
    data = path.read_bytes()
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, _, depth, colour = struct.unpack(">IIBB", chunk[:10])
            assert (depth, colour) == (8, 2)
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3 + 1
    previous = bytearray(width * 3)
    for row in range(y + 1):
        kind, line = raw[row * stride], bytearray(raw[row * stride + 1:(row + 1) * stride])
        for i in range(len(line)):
            a = line[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        previous = line
    r, g, b = previous[3 * x:3 * x + 3]
    return r << 16 | g << 8 | b


def tone(frames=44100, channels=2):
    t = np.arange(frames) / 44100.0
    wave = (np.sin(2 * np.pi * 440 * t) * 20000).astype(np.int16)
    return np.stack([wave] * channels, axis=1)


def test_a_snapshot_is_a_png_of_the_window_size(control, tmp_path):
    window = qelaudio.HeadlessWindow(control, 400, 200)
    path = tmp_path / "empty.png"
    window.snapshot(str(path))
    assert png_size(path) == (400, 200)


def test_the_window_shows_an_opened_document(control, doc, tmp_path):
    window = qelaudio.HeadlessWindow(control, 400, 200)
    doc.open(tone())
    path = tmp_path / "tone.png"
    window.snapshot(str(path))
    # A loud tone fills the middle of the first lane from the left.
    column = [window.pixel(100, y) for y in range(20, 100)]
    assert column.count(DIGITAL) > 20
    assert png_pixel(path, 100, column.index(DIGITAL) + 20) == DIGITAL & 0xFFFFFF


def test_a_colour_change_repaints_the_window(control, doc):
    window = qelaudio.HeadlessWindow(control, 400, 200)
    doc.open(tone())
    assert window.pixel(100, 60) in (DIGITAL, 0xFF000000)
    window.paint()
    control.Colors.Background = 0x000080  # OLE red
    assert window.paint()  # the change invalidated the window
    assert window.pixel(200, 22) == 0xFF800000  # the first row of the first lane


def test_resizing_lays_the_picture_out_for_the_new_size(control, doc, tmp_path):
    window = qelaudio.HeadlessWindow(control, 400, 200)
    doc.open(tone())
    window.resize(640, 300)
    path = tmp_path / "big.png"
    window.snapshot(str(path))
    assert png_size(path) == (640, 300)
    assert (window.width, window.height) == (640, 300)


def test_select_keeps_its_translucency(control):
    control.Colors.Select = 0xFF0000
    assert control.Colors.Select == 0xFF0000
    assert control.Colors.Background == 0


def test_the_scale_font_is_a_late_bound_font_object(control):
    font = control.ScaleX.Font
    assert font.Name == "Arial"
    assert font.Size == 5.0
    font.Size = 9
    assert control.ScaleX.Font.Size == 9.0
    font.Bold = True
    assert font.Weight == 700


def test_scale_orientation_and_channel_interval_are_clamped(control):
    control.ScaleY.Orientation = 7
    assert control.ScaleY.Orientation == 2
    control.Visualization.ChannelsInterval = 1
    assert control.Visualization.ChannelsInterval == 3


def test_a_window_needs_a_control(control):
    with pytest.raises(TypeError):
        qelaudio.HeadlessWindow(control.Colors, 100, 100)
