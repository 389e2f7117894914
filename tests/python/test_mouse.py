"""The mouse through a headless window: selecting, extending, scrolling while
selecting, the slider, the wheel, channel picking, markers by double click and
drag, right clicks, cursors and tooltips, and the events of each in order."""
import numpy as np
import pytest
import qelaudio

SHIFT, CONTROL, LEFT = 0x4, 0x8, 0x1
# 805 x 300 with both scales hidden: the waveform has 800 columns from x = 2,
# its margins are 8 rows, lanes run from y = 21 to 287 (mono).
WIDTH, HEIGHT = 805, 300
LEFT_X, COLUMNS, TOP, BOTTOM, MARGIN = 2, 800, 13, 295, 8
FRAMES = 80_000
COLUMN = FRAMES // COLUMNS  # frames of one column of the full view
LANE_Y = 150


class Events:
    """Keeps the mouse, position, marker and channel events in order: an event
    with arguments as a tuple of its name and them, one without as its name."""
    KEPT = {"MouseDown", "MouseUp", "MouseMove", "DblClick", "ScaleXClick", "ScaleYClick",
            "WaveformRClick", "ChangePosition", "MarkerClick", "NewMarker", "ChangeMarker",
            "SelectChannel"}

    def __init__(self):
        self.log = []

    def __getattr__(self, name):
        event = name[2:]
        if not name.startswith("On") or event not in self.KEPT:
            raise AttributeError(name)
        return lambda *args: self.log.append((event, *args) if args else event)

    def names(self):
        return [e if isinstance(e, str) else e[0] for e in self.log]


def x_of(frame, start=0, end=FRAMES):
    return LEFT_X + int((frame - start) / (end - start) * COLUMNS + 0.5)


@pytest.fixture
def setup(control, doc):
    control.ScaleX.Visible = False
    control.ScaleY.Visible = False
    window = qelaudio.HeadlessWindow(control, WIDTH, HEIGHT)
    doc.open(np.zeros((FRAMES, 1), np.int16))
    events = Events()
    connection = qelaudio.connect(control, events)
    yield control, window, events
    connection.disconnect()


def drag(window, x0, x1, y=LANE_Y, keys=0):
    window.mouse_down(1, keys, x0, y)
    window.mouse_move(LEFT | keys, x1, y)
    window.mouse_up(1, keys, x1, y)


# ---- selecting ----

def test_a_drag_across_the_waveform_selects_from_press_to_release(setup):
    control, window, _ = setup
    drag(window, x_of(10_000), x_of(30_000))
    p = control.Position
    assert p.Selected != 0
    assert abs(p.StartSelect - 10_000) <= COLUMN
    assert abs(p.EndSelect - 30_000) <= COLUMN


def test_a_drag_fires_down_move_and_up_with_their_arguments_in_order(setup):
    _, window, events = setup
    drag(window, 100, 300)
    assert events.log == [("MouseDown", 1, 0, 100, LANE_Y), "ChangePosition",
                          ("MouseMove", 1, 0, 300, LANE_Y), "ChangePosition",
                          ("MouseUp", 1, 0, 300, LANE_Y)]


def test_shift_and_control_on_a_press_report_shift_three(setup):
    _, window, events = setup
    window.mouse_down(1, SHIFT | CONTROL, 100, LANE_Y)
    assert ("MouseDown", 1, 3, 100, LANE_Y) in events.log


def test_a_press_and_release_two_columns_apart_leaves_a_cursor_at_the_press(setup):
    control, window, _ = setup
    drag(window, x_of(40_000), x_of(40_000) + 2)
    p = control.Position
    assert p.Selected == 0
    assert p.StartSelect == p.EndSelect
    assert abs(p.StartSelect - 40_000) <= COLUMN


def test_shift_click_extends_the_selection_to_the_pointer(setup, doc):
    control, window, _ = setup
    doc.select(10_000, 20_000)
    window.mouse_down(1, SHIFT, x_of(50_000), LANE_Y)
    window.mouse_up(1, SHIFT, x_of(50_000), LANE_Y)
    assert control.Position.StartSelect == 10_000
    assert abs(control.Position.EndSelect - 50_000) <= COLUMN


def test_with_mouse_events_off_a_drag_changes_nothing_and_still_fires_the_events(setup):
    control, window, events = setup
    control.MouseEventsEnabled = False
    drag(window, 100, 300)
    assert control.Position.EndSelect == 0
    assert events.names() == ["MouseDown", "MouseMove", "MouseUp"]


# ---- scrolling while selecting ----

def test_selecting_past_the_left_side_scrolls_and_each_timer_tick_scrolls_on(setup):
    control, window, _ = setup
    control.Zoom(40_000, 48_000)
    p = control.Position
    window.mouse_down(1, 0, 400, LANE_Y)
    window.mouse_move(LEFT, -20, LANE_Y)
    step = 2 * 8_000 // COLUMNS  # two columns' worth of frames
    assert p.StartView == 40_000 - step
    assert window.timers == {1: 50}
    window.timer(1)
    assert p.StartView == 40_000 - 2 * step
    assert p.StartSelect == p.StartView
    window.mouse_up(1, 0, -20, LANE_Y)
    assert window.timers == {}
    assert not window.has_capture


# ---- slider and wheel ----

def test_dragging_the_slider_scrolls_the_view_by_the_document_share(setup):
    control, window, _ = setup
    control.Zoom(20_000, 30_000)
    p = control.Position
    x = x_of(25_000)  # the middle of the slider
    window.mouse_down(1, 0, x, 3)
    window.mouse_move(LEFT, x + 80, 3)
    window.mouse_up(1, 0, x + 80, 3)
    shift = int(FRAMES * 80 / COLUMNS + 0.5)
    assert (p.StartView, p.EndView) == (20_000 + shift, 30_000 + shift)


def test_the_wheel_zooms_in_around_the_pointer_and_back_out(setup):
    control, window, _ = setup
    p = control.Position
    x = LEFT_X + COLUMNS // 4
    window.wheel(120, 0, x, LANE_Y)
    assert abs((p.EndView - p.StartView) - 60_000) <= 1
    assert abs(p.StartView - 5_000) <= 1  # the frame under the pointer stays
    window.wheel(-120, 0, x, LANE_Y)
    assert abs((p.EndView - p.StartView) - 80_000) <= 2
    assert abs(p.StartView) <= 2


def test_the_wheel_does_not_zoom_out_of_the_whole_document(setup):
    control, window, _ = setup
    window.wheel(-120, 0, 400, LANE_Y)
    assert (control.Position.StartView, control.Position.EndView) == (0, FRAMES)


# ---- channels ----

def test_a_click_in_the_top_third_of_the_upper_lane_picks_the_left_channel(control, doc):
    control.ScaleX.Visible = False
    control.ScaleY.Visible = False
    window = qelaudio.HeadlessWindow(control, WIDTH, HEIGHT)
    doc.open(np.zeros((FRAMES, 2), np.int16))
    events = Events()
    with qelaudio.connect(control, events):
        window.mouse_down(1, 0, 300, 25)
        window.mouse_up(1, 0, 300, 25)
    channels = control.Channels
    channels.Num = 1
    assert channels.OperationEnabled != 0
    channels.Num = 2
    assert channels.OperationEnabled == 0
    assert events.names()[-2:] == ["SelectChannel", "MouseUp"]


# ---- markers ----

def test_a_double_click_in_the_margin_makes_a_marker_and_another_deletes_it(setup):
    control, window, events = setup
    x = x_of(60_000)
    window.double_click(1, 0, x, TOP + 2)
    window.mouse_up(1, 0, x, TOP + 2)
    markers = control.Markers
    assert markers.Count == 1
    markers.Num = 1
    assert markers.Label == "Marker 1"
    assert abs(markers.Position - 60_000) <= COLUMN
    assert ("NewMarker", 1) in events.log
    window.double_click(1, 0, x + 4, TOP + 2)
    assert markers.Count == 0


def test_dragging_a_cue_marker_moves_it_and_fires_click_and_change(setup):
    control, window, events = setup
    control.Markers.Insert(20_000, 0, "cue", "")
    y = BOTTOM - 2
    window.mouse_down(1, 0, x_of(20_000) + 2, y)
    window.mouse_move(LEFT, x_of(35_000), y)
    window.mouse_up(1, 0, x_of(35_000), y)
    assert abs(control.Markers.Position - 35_000) <= COLUMN
    assert events.log[0] == ("MarkerClick", 1)
    assert ("ChangeMarker", 1) in events.log


def test_hovering_a_marker_with_a_note_shows_the_note(setup):
    control, window, _ = setup
    control.Visualization.MarkerToolTipEnabled = True
    control.Markers.Insert(40_000, 0, "verse", "the second verse")
    window.mouse_move(0, x_of(40_000), LANE_Y)
    assert window.tooltip[0] == "the second verse"
    window.mouse_move(0, x_of(40_000) + 10, LANE_Y)
    assert window.tooltip is None


# ---- right button and cursors ----

def test_a_right_click_on_the_time_scale_fires_scale_x_click(control, doc):
    window = qelaudio.HeadlessWindow(control, WIDTH, HEIGHT)
    doc.open(np.zeros((FRAMES, 1), np.int16))
    events = Events()
    with qelaudio.connect(control, events):
        window.mouse_down(2, 0, 300, HEIGHT - 2)
        window.mouse_down(1, 0, 300, LANE_Y)
        window.mouse_down(2, 0, 300, HEIGHT - 2)  # the left button is held now
    assert events.log[:2] == ["ScaleXClick", ("MouseDown", 2, 0, 300, HEIGHT - 2)]
    assert events.log[-1] == ("MouseDown", 2, 0, 300, HEIGHT - 2)
    assert events.names().count("ScaleXClick") == 1


def test_a_zone_cursor_comes_with_a_picture_the_host_can_show(setup):
    # Which zone asks for which cursor is tested in MouseCursor (C++ view suite).
    _, window, _ = setup
    window.mouse_move(0, 300, TOP + 2)
    assert window.cursor == 1000 + 217  # the margin band's handle
    width, height, hot_x, hot_y, pixels = window.cursor_image(window.cursor)
    assert (width, height) == (32, 32)
    assert 0 <= hot_x < 32 and 0 <= hot_y < 32
    alpha = pixels[3::4]
    assert any(alpha) and not all(alpha)  # a shape on a clear ground


def test_losing_the_capture_ends_the_drag(setup):
    control, window, _ = setup
    window.mouse_down(1, 0, x_of(10_000), LANE_Y)
    window.mouse_move(LEFT, x_of(20_000), LANE_Y)
    window.capture_lost()
    window.mouse_move(LEFT, x_of(40_000), LANE_Y)
    assert abs(control.Position.EndSelect - 20_000) <= COLUMN
