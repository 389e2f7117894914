"""The Python client end to end: creation, late-bound members, conversions,
errors carrying their result code, and events. Which members are methods and
which indexed properties is checked against the stub in test_stub."""
import pytest
import qelaudio

CONTROL_CLSID = "{72E3EF9C-6678-4755-B0A1-1033A4B8A938}"


def test_each_dispatch_creates_a_control_of_its_own_by_versioned_progid_or_class_identifier():
    a = qelaudio.Dispatch("QelAudioEditor4.AudioEditor.1")
    b = qelaudio.Dispatch(CONTROL_CLSID)
    assert a.Status == 0 and b.Status == 0
    assert a != b  # two controls, not one shared


def test_unknown_progid_raises_with_the_class_string_code():
    with pytest.raises(qelaudio.ComError) as err:
        qelaudio.Dispatch("No.Such.Class")
    assert err.value.hresult == 0x800401F3


def test_dispid_answers_what_getidsofnames_answers(control):
    # Every identifier is checked against the surface table in the C++ suite (Surface).
    assert qelaudio.dispid(control, "getadditionalparam") == 72


def test_unknown_member_is_an_attribute_error(control):
    with pytest.raises(AttributeError):
        control.NoSuchMember


def test_boolean_keeps_its_integer_value(control):
    assert control.MouseEventsEnabled == -1
    control.MouseEventsEnabled = False
    assert control.MouseEventsEnabled == 0


def test_sub_object_comes_back_as_the_same_object_each_time(control):
    assert control.Position == control.Position
    assert control.ScaleX != control.ScaleY


def test_failing_member_raises_with_its_code_and_source(control):
    with pytest.raises(qelaudio.ComError) as err:
        control.DXTransform.FilterNum = 0  # no plug-in listed while the host is off
    assert err.value.hresult == 0x80040309
    assert err.value.source == "QelAudioEditor4.AudioEditor.1"


def test_wrong_argument_type_raises_type_mismatch(control):
    with pytest.raises(qelaudio.ComError) as err:
        control.PreviewMode = "loud"
    assert err.value.hresult == 0x80020005


def test_missing_argument_raises_param_not_optional(control):
    with pytest.raises(qelaudio.ComError) as err:
        control.Zoom(1)
    assert err.value.hresult == 0x8002000F


class Recorder:
    def __init__(self):
        self.events = []

    def OnEndOperation(self):
        self.events.append("EndOperation")

    def OnBlockOperation(self, percent):
        self.events.append(("BlockOperation", percent))


def test_events_reach_the_handler(control):
    handler = Recorder()
    qelaudio.connect(control, handler)
    control._ParsingFile()
    control._OnTimer()
    assert handler.events == ["EndOperation"]


def test_two_handlers_each_hear_an_event_once(control):
    first, second = Recorder(), Recorder()
    qelaudio.connect(control, first)
    qelaudio.connect(control, second)
    control._ParsingFile()
    control._OnTimer()
    control._OnTimer()
    assert first.events == ["EndOperation"] and second.events == ["EndOperation"]


def test_disconnected_handler_hears_nothing(control):
    handler = Recorder()
    with qelaudio.connect(control, handler) as connection:
        assert connection.connected
    control._ParsingFile()
    control._OnTimer()
    assert handler.events == []


def test_exception_in_a_handler_does_not_break_the_call(control):
    class Broken:
        def OnEndOperation(self):
            raise RuntimeError("handler bug")

    qelaudio.connect(control, Broken())
    control._ParsingFile()
    control._OnTimer()  # returns normally
    assert control.Status == 0
