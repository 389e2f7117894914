"""The typed stub of the client (qelaudio.pyi, generated from the surface table
beside the module) against the module itself: each class has the members its
objects describe, methods where the objects have methods, values of the types
the stub names; and mypy reads the stub and reports misuse through it."""
import ast
import os
import subprocess
import textwrap

import pytest
import qelaudio

STUB = os.path.join(os.path.dirname(qelaudio.__file__), "qelaudio.pyi")


def parse_stub():
    with open(STUB) as f:
        tree = ast.parse(f.read())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


CLASSES = parse_stub()
# The creatable classes: those deriving from one interface class (AudioEditor(IAudioEditor)).
COCLASSES = sorted(
    (name, node.bases[0].id) for name, node in CLASSES.items()
    if len(node.bases) == 1 and isinstance(node.bases[0], ast.Name)
    and node.bases[0].id.startswith("I") and node.bases[0].id in CLASSES)


def stub_members(interface):
    """name -> ("method", None) or ("value", annotation text) for the value the
    object hands out."""
    members = {}
    for node in CLASSES[interface].body:
        if isinstance(node, ast.FunctionDef):
            is_property = any(isinstance(d, ast.Name) and d.id == "property"
                              for d in node.decorator_list)
            members[node.name] = (("value", ast.unparse(node.returns)) if is_property
                                  else ("method", None))
        elif isinstance(node, ast.AnnAssign):
            members[node.target.id] = ("value", ast.unparse(node.annotation))
    return members


def matches(value, annotation):
    if annotation == "Any":
        return True
    if annotation.startswith("IndexedProperty["):
        return isinstance(value, qelaudio.IndexedProperty)
    allowed = {"int": int, "float": float, "str": str, "None": type(None),
               "LateBound": qelaudio.DispatchObject}
    for part in annotation.split(" | "):
        if part.startswith("list["):
            if isinstance(value, list) and all(matches(v, part[5:-1]) for v in value):
                return True
        elif part in allowed:
            if isinstance(value, allowed[part]) and not isinstance(value, bool):
                return True
        elif part in CLASSES and isinstance(value, qelaudio.DispatchObject):
            return True
    return False


def test_every_creatable_class_is_in_the_stub():
    assert ("AudioEditor", "IAudioEditor") in COCLASSES
    assert len(COCLASSES) == 16


@pytest.mark.parametrize("name,interface", COCLASSES)
def test_members_kinds_and_types_agree_with_the_object(name, interface):
    obj = qelaudio.Dispatch(f"QelAudioEditor4.{name}")
    members = stub_members(interface)
    assert set(members) == set(dir(obj))
    for member, (kind, annotation) in members.items():
        try:
            value = getattr(obj, member)
        except (qelaudio.ComError, AttributeError):
            assert kind == "value", member  # a property that fails here, or write-only
            continue
        if kind == "method":
            assert isinstance(value, qelaudio.BoundMethod), member
        else:
            assert matches(value, annotation), (member, annotation, value)


def test_mypy_accepts_the_stub_and_reports_misuse_through_it(tmp_path):
    pytest.importorskip("mypy")
    sample = tmp_path / "sample.py"
    sample.write_text(textwrap.dedent("""\
        import qelaudio

        class Progress:
            def OnBlockOperation(self, percent: int) -> None:
                print(percent)

        control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
        with qelaudio.connect(control, Progress()):
            control.Position.StartSelect = control.FileInfo.SampleRate
            control.Transform.Envelope([0, 100.5], [100, 50], 0, 0)
            label: str | None = control.Markers.SplitFilesName[1]
        control.Transform.Amplify("loud")  # line 12: a string for a double
        control.Status = 0  # line 13: read-only
        control.Positon  # line 14: no such member
        window = qelaudio.HeadlessWindow(control, 10, 10)
        other = qelaudio.Dispatch("Some.Other.Class")
        other.Anything(1, 2)
        """))
    result = subprocess.run(
        ["/usr/bin/python3", "-m", "mypy", "--strict", "--no-error-summary",
         "--cache-dir", str(tmp_path / "cache"), STUB, str(sample)],
        capture_output=True, text=True, cwd=tmp_path,
        env={**os.environ, "MYPYPATH": os.path.dirname(STUB)})
    lines = sorted({line.split(":")[1] for line in result.stdout.splitlines()
                    if ": error:" in line and line.startswith("sample.py")})
    assert lines == ["12", "13", "14"], result.stdout
    assert "qelaudio.pyi" not in result.stdout
