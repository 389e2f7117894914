"""Every editor the tests start keeps its settings (window size, devices,
recent files) in the test's own folder, never in the user's."""
import pytest


@pytest.fixture(autouse=True)
def own_settings_folder(tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
