"""Late-bound automation client for the audio-editing control.

Dispatch() creates an object; its members are reached by name through the
object's type information. At run time every object is a DispatchObject: the
interface classes below (IAudioEditor, IEditorPosition, ...) exist for the
type checker only and say which members an object of that class has.
"""
from types import TracebackType
from typing import (Any, Callable, Generic, Literal, Protocol, Sequence, TypeVar, Union, overload,
                    type_check_only)

_V = TypeVar("_V")
_E = TypeVar("_E", int, float)

@type_check_only
class _SupportsArray(Protocol):
    def __array__(self) -> Any: ...

# An array argument: a list (or a list of equal-length lists), or a numpy array
# of one or two dimensions.
_ArrayIn = Union[Sequence[_E], Sequence[Sequence[_E]], _SupportsArray]

class ComError(Exception):
    """A failed call: the result code, the error description and its source."""

    hresult: int
    description: str
    source: str

class Ref:
    """A value passed by reference to an event handler; the handler may assign it."""

    value: Any
    def __init__(self, value: Any = None) -> None: ...

class BoundMethod:
    def __call__(self, *args: Any, **kwargs: Any) -> Any: ...

class IndexedProperty(Generic[_V]):
    """A property that takes an index: obj.Prop[i], obj.Prop(i), obj.Prop[i] = v."""

    def __getitem__(self, index: int) -> _V: ...
    def __setitem__(self, index: int, value: _V) -> None: ...
    def __call__(self, *index: int) -> _V: ...

class DispatchObject:
    """An automation object (the run-time class of every object the module hands out)."""

    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    def __dir__(self) -> list[str]: ...

@type_check_only
class LateBound(DispatchObject):
    """An object whose interface is not known here: every member, untyped."""

    def __getattr__(self, name: str) -> Any: ...
    def __setattr__(self, name: str, value: Any) -> None: ...

class Connection:
    """An event connection; disconnect() (or leaving a with block) ends it."""

    def disconnect(self) -> None: ...
    @property
    def connected(self) -> bool: ...
    def __enter__(self) -> Connection: ...
    def __exit__(self, exc_type: type[BaseException] | None, exc: BaseException | None,
                 traceback: TracebackType | None) -> None: ...

def dispid(obj: DispatchObject, name: str) -> int:
    """The dispatch identifier GetIDsOfNames gives for name."""

def connect(obj: DispatchObject, handler: object) -> Connection:
    """Delivers obj's events to handler.On<Event>(...) (see AudioEditorEvents)."""

def run_messages(control: DispatchObject, seconds: float,
                 until: Callable[[], bool] | None = None) -> bool:
    """Delivers the control's messages (device events, timers) for up to seconds, or until
    until() is true; returns whether until() became true."""

def audio_bytes(data: DispatchObject) -> bytes:
    """The samples of a data-buffer or audio-frame-data object, without its format record."""

def audio_array(data: DispatchObject, channels: int | None = None,
                sample_size: int | None = None) -> Any:
    """The samples as a read-only numpy array of frames x channels (uint8, int16 or int32;
    24-bit samples widened to int32). The format comes from the data's record unless given."""

def audio_data(samples: bytes | bytearray | memoryview | _SupportsArray,
               sample_size: int | None = None) -> DispatchObject:
    """A new audio-frame-data object holding the samples, for PutAudioArray (sample_size 24
    packs an integer array into three bytes per sample)."""

def set_clipboard(items: dict[str, bytes]) -> None:
    """Replaces the clipboard of the process's headless controls by {MIME type: bytes}."""

def get_clipboard(mime_type: str) -> bytes | None:
    """The bytes of one MIME type on the headless controls' clipboard, or None."""

_IoCallKind = Literal["open", "create", "read", "write", "seek", "rename", "truncate", "unlink",
                      "close"]

def _inject_io_fault(kind: _IoCallKind, n: int, errno: int, persistent: bool = False) -> None:
    """Testing: the n-th file call of kind from now on fails with errno (every later
    one too when persistent)."""

def _clear_io_faults() -> None:
    """Testing: file calls succeed again."""

def _io_calls_seen(kind: _IoCallKind) -> int:
    """Testing: how many file calls of kind were made since its fault was armed."""

class HeadlessWindow:
    """A window of a given size for a control, without a screen."""

    def __init__(self, control: DispatchObject, width: int, height: int) -> None: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    def resize(self, width: int, height: int) -> None: ...
    def paint(self) -> bool: ...
    def snapshot(self, path: str) -> None: ...
    def pixel(self, x: int, y: int) -> int: ...
    def mouse_down(self, button: int, keys: int, x: int, y: int) -> None: ...
    def mouse_up(self, button: int, keys: int, x: int, y: int) -> None: ...
    def mouse_move(self, keys: int, x: int, y: int) -> None: ...
    def double_click(self, button: int, keys: int, x: int, y: int) -> None: ...
    def wheel(self, delta: int, keys: int, x: int, y: int) -> None: ...
    def timer(self, id: int = 1) -> None: ...
    def capture_lost(self) -> None: ...
    @property
    def timers(self) -> dict[int, int]: ...
    @property
    def has_capture(self) -> bool: ...
    def cursor_image(self, cursor: int) -> tuple[int, int, int, int, bytes] | None: ...
    @property
    def cursor(self) -> int: ...
    @property
    def tooltip(self) -> tuple[str, int, int] | None: ...
