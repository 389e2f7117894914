import pytest
import qelaudio


@pytest.fixture
def control():
    return qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
