"""Selection, view and channels through the interface: positions in frames, the
events of a put, and what reads without a document. The ordering rules of each
put, clamping to the document and the zoom stack are tested in the C++ editing
suite (PositionsTest, ZoomTest)."""
import numpy as np
import pytest
import qelaudio


@pytest.fixture
def stereo(doc):
    doc.open(np.zeros((1000, 2)), bits=16)  # block alignment 4
    return doc.control


def test_current_moves_the_cursor_without_a_selection(stereo):
    stereo.Position.Current = 123
    assert stereo.Position.Current == 123
    assert stereo.Position.StartSelect == stereo.Position.EndSelect == 123


def test_zoom_narrower_than_two_frames_does_nothing(stereo):
    p = stereo.Position
    stereo.Zoom(5, 6)
    assert (p.StartView, p.EndView) == (0, 1000)


def test_zoom_takes_its_ends_in_either_order(stereo):
    stereo.Zoom(600, 200)
    assert (stereo.Position.StartView, stereo.Position.EndView) == (200, 600)


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
