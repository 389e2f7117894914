"""The control in a headless window from Python: its picture as PNG, repaints
after changes and resizes. The view's settings objects (colours, fonts, clamped
values) are tested in the C++ core suite (ViewSettings), the drawing itself in
the view suite."""
import struct

import numpy as np
import pytest
import qelaudio

DIGITAL = 0xFF1CF0AB


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    width, height = struct.unpack(">II", data[16:24])
    return width, height


def tone(frames=44100, channels=2):
    t = np.arange(frames) / 44100.0
    wave = (np.sin(2 * np.pi * 440 * t) * 20000).astype(np.int16)
    return np.stack([wave] * channels, axis=1)


def test_a_snapshot_is_a_png_of_the_window_size(control, tmp_path):
    window = qelaudio.HeadlessWindow(control, 400, 200)
    path = tmp_path / "empty.png"
    window.snapshot(str(path))
    assert png_size(path) == (400, 200)


def test_the_window_shows_an_opened_document(control, doc):
    window = qelaudio.HeadlessWindow(control, 400, 200)
    doc.open(tone())
    # A loud tone fills the middle of the first lane from the left.
    column = [window.pixel(100, y) for y in range(20, 100)]
    assert column.count(DIGITAL) > 20


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


def test_a_window_needs_a_control(control):
    with pytest.raises(TypeError):
        qelaudio.HeadlessWindow(control.Colors, 100, 100)
