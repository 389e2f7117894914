import pytest
import qelaudio

from store import Document  # noqa: F401  (re-exported for the tests)


@pytest.fixture(autouse=True)
def private_temp(tmp_path, monkeypatch):
    """Each test's controls work in a folder of their own: their sample-store files
    and clipboard files cannot meet those of tests running at the same time."""
    folder = tmp_path / "temp"
    folder.mkdir()
    monkeypatch.setenv("TMPDIR", str(folder))
    monkeypatch.setenv("QEL_LOCK_DIR", str(tmp_path))
    return folder


@pytest.fixture
def control():
    return qelaudio.Dispatch("QelAudioEditor4.AudioEditor")


@pytest.fixture
def doc(control, tmp_path):
    return Document(control, tmp_path)
