"""Selection, view and zoom: frames at the interface, clamping, the ordering
rules of each put, and the zoom stack."""
import numpy as np
import pytest
import qelaudio


@pytest.fixture
def stereo(doc):
    doc.open(np.zeros((1000, 2)), bits=16)  # block alignment 4
    return doc.control


def test_positions_are_frames_clamped_to_the_document(stereo):
    p = stereo.Position
    p.StartSelect = 10
    assert p.StartSelect == 10
    p.StartSelect = -5
    assert p.StartSelect == 0
    p.StartSelect = 5000
    assert p.StartSelect == p.TotalSamples == 1000


def test_end_without_selection_moves_both_ends(stereo):
    p = stereo.Position
    p.EndSelect = 100
    assert (p.StartSelect, p.EndSelect) == (100, 100)


def test_end_before_start_swaps_the_ends(stereo, doc):
    doc.select(100, 200)
    stereo.Position.EndSelect = 50
    assert doc.selection() == (50, 100)


def test_start_beyond_end_makes_a_cursor_and_keeps_selected(stereo, doc):
    doc.select(100, 200)
    stereo.Position.StartSelect = 300
    assert doc.selection() == (300, 300)
    assert stereo.Position.Selected == -1


def test_selected_keeps_the_hosts_value_and_zoom_full_writes_one(stereo, doc):
    doc.select(100, 200)
    assert stereo.Position.Selected == -1
    stereo.ZoomFull()
    assert stereo.Position.Selected == 1


def test_current_moves_the_cursor_without_a_selection(stereo):
    stereo.Position.Current = 123
    assert stereo.Position.Current == 123
    assert stereo.Position.StartSelect == stereo.Position.EndSelect == 123


def test_zoom_in_and_out_follow_thirds_of_the_width(doc):
    doc.open(np.zeros((900, 2)))
    c, p = doc.control, doc.control.Position
    c.ZoomIn()
    assert (p.StartView, p.EndView) == (300, 600)
    c.ZoomIn()
    assert (p.StartView, p.EndView) == (400, 500)
    c.ZoomOut()
    assert (p.StartView, p.EndView) == (300, 600)
    c.ZoomFull()
    assert (p.StartView, p.EndView) == (0, 900)


def test_zoom_narrower_than_two_frames_does_nothing(stereo):
    p = stereo.Position
    stereo.Zoom(5, 6)
    assert (p.StartView, p.EndView) == (0, 1000)


def test_zoom_takes_its_ends_in_either_order(stereo):
    stereo.Zoom(600, 200)
    assert (stereo.Position.StartView, stereo.Position.EndView) == (200, 600)


def test_zoom_beyond_the_end_shows_the_last_frames(stereo):
    stereo.Zoom(1500, 1700)
    assert (stereo.Position.StartView, stereo.Position.EndView) == (800, 1000)


def test_zoom_stops_at_the_deepest_level(stereo):
    for _ in range(120):
        stereo.Zoom(100, 900)
    p = stereo.Position
    before = (p.StartView, p.EndView)
    stereo.Zoom(200, 300)
    assert (p.StartView, p.EndView) == before


def test_view_put_moves_off_the_full_view_level(stereo):
    p = stereo.Position
    p.StartView = 100
    p.EndView = 400
    assert (p.StartView, p.EndView) == (100, 400)
    stereo.ZoomFull()
    assert (p.StartView, p.EndView) == (0, 1000)


def test_vertical_zoom_is_clamped(stereo):
    stereo.ZoomVertical(0)
    stereo.ZoomVertical(5000)  # no error either way


def test_position_puts_fire_change_position(stereo):
    class Events:
        changes = 0

        def OnChangePosition(self):
            Events.changes += 1

    qelaudio.connect(stereo, Events())
    stereo.Position.StartSelect = 10
    stereo.Position.EndSelect = 20
    assert Events.changes == 2


def test_without_document_positions_read_zero(control):
    p = control.Position
    p.StartSelect = 10
    assert (p.StartSelect, p.TotalSamples, p.Current) == (0, 0, 0)


def test_channel_number_is_at_least_one_and_at_most_the_channels(stereo):
    ch = stereo.Channels
    ch.Num = 0
    assert ch.Num == 1
    ch.Num = 5
    assert ch.Num == 2


def test_operation_mask_follows_the_enabled_channels(doc):
    doc.open(np.zeros((10, 6)), mask=0x3F)
    ch = doc.control.Channels
    assert (ch.OperationCount, ch.OperationMask) == (6, 0x3F)
    ch.Num = 2
    ch.OperationEnabled = False
    assert (ch.OperationCount, ch.OperationMask) == (5, 0x3D)
