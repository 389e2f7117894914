"""qel-regsvr writes the module's registration entries into the per-user file
and removes them again, leaving other entries alone."""
import os
import re
import subprocess

import pytest

CONTROL = "{72E3EF9C-6678-4755-B0A1-1033A4B8A938}"


def read_registry(path):
    keys, current = {}, None
    for line in path.read_text().splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            keys[current] = {}
        elif current and "=" in line:
            name, value = line.split("=", 1)
            keys[current][name.strip('"') if name != "@" else ""] = value.strip('"')
    return keys


@pytest.fixture
def registry(tmp_path, monkeypatch):
    path = tmp_path / "registry.reg"
    monkeypatch.setenv("QEL_REGISTRY_FILE", str(path))
    return path


def regsvr(*args):
    return subprocess.run([os.environ["QEL_REGSVR"], "/s", *args], capture_output=True, text=True)


def test_registration_writes_the_control_entries(registry):
    assert regsvr(os.environ["QEL_MODULE"]).returncode == 0
    keys = read_registry(registry)
    key = "HKEY_CLASSES_ROOT\\CLSID\\" + CONTROL
    # The names that find the module; the other values are copied from the class table.
    assert keys[key + "\\ProgID"][""] == "QelAudioEditor4.AudioEditor.1"
    # The module as it was named: the library, with or without its version suffix.
    assert re.search(r"/libqelaudioeditor\.so(\.\d+)*$", keys[key + "\\InprocServer32"][""])
    assert keys["HKEY_CLASSES_ROOT\\QelAudioEditor4.AudioEditor\\CurVer"][""] == \
        "QelAudioEditor4.AudioEditor.1"


def test_every_class_gets_both_progids(registry):
    regsvr(os.environ["QEL_MODULE"])
    keys = read_registry(registry)
    progids = [k for k in keys if k.startswith("HKEY_CLASSES_ROOT\\QelAudioEditor4.") and
               k.endswith(".1")]
    assert len(progids) == 16


def test_unregistration_removes_only_the_module_entries(registry):
    registry.write_text('QelRegistry 1\n\n[HKEY_CLASSES_ROOT\\Other.Thing]\n@="kept"\n')
    regsvr(os.environ["QEL_MODULE"])
    assert regsvr("/u", os.environ["QEL_MODULE"]).returncode == 0
    keys = read_registry(registry)
    assert list(keys) == ["HKEY_CLASSES_ROOT\\Other.Thing"]


def test_missing_module_is_reported(registry):
    result = regsvr("/nonexistent/module.so")
    assert result.returncode != 0
    assert "cannot load" in result.stderr
    assert not registry.exists()


def test_help_explains_the_options_and_registers_nothing(registry):
    result = subprocess.run([os.environ["QEL_REGSVR"], "--help"], capture_output=True, text=True)
    assert result.returncode == 0
    assert result.stdout.startswith("usage: qel-regsvr")
    assert "/u" in result.stdout and str(registry) in result.stdout
    assert not registry.exists()
