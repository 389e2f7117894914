"""The control's lifecycle through the Python client: defaults, the history
capacity, the temporary directory and the stale-file purge between instances."""
import os
import subprocess
import sys
import textwrap

import pytest
import qelaudio


def test_new_control_defaults(control):
    assert control.Status == 0
    assert control.UndoRedoCount == 999
    assert control.TempDirectory == os.path.join(os.environ["TMPDIR"], "")


@pytest.mark.parametrize("put, read", [(0, 1), (-7, 1), (5, 5), (20000, 10000)])
def test_undo_redo_count_is_clamped(control, put, read):
    control.UndoRedoCount = put
    assert control.UndoRedoCount == read


def test_history_members_without_document(control):
    assert control.UndoEnabled == 0 and control.RedoEnabled == 0
    assert control.UndoList is None and control.RedoList is None
    control.Undo(1)
    control.Redo(-1)  # nothing to do, no error


def test_temp_directory_that_cannot_be_entered_raises_invalid_argument(control, tmp_path):
    before = control.TempDirectory
    with pytest.raises(qelaudio.ComError) as err:
        control.TempDirectory = str(tmp_path / "missing") + "/"
    assert err.value.hresult == 0x80040308
    assert err.value.description == "Invalid argument."
    assert control.TempDirectory == before


PURGE_SCRIPT = textwrap.dedent("""
    import os, sys, qelaudio
    folder = sys.argv[1]
    def stale(name):
        open(os.path.join(folder, name), "w").close()
        return os.path.join(folder, name)
    first = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    a = stale("qelAAA1.qelf")
    first.TempDirectory = folder + "/"
    print("first purged", not os.path.exists(a))
    b = stale("qelBBB2.qelf")
    second = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    second.TempDirectory = folder + "/"
    print("second purged", not os.path.exists(b))
""")


def test_only_the_first_live_control_purges_stale_files(tmp_path):
    # A private lock folder: controls of other tests running now do not count.
    env = dict(os.environ, QEL_LOCK_DIR=str(tmp_path / "locks"))
    (tmp_path / "locks").mkdir()
    (tmp_path / "work").mkdir()
    out = subprocess.run([sys.executable, "-c", PURGE_SCRIPT, str(tmp_path / "work")],
                         env=env, capture_output=True, text=True, check=True).stdout
    assert "first purged True" in out
    assert "second purged False" in out


def test_a_killed_process_does_not_keep_the_instance_alive(tmp_path):
    env = dict(os.environ, QEL_LOCK_DIR=str(tmp_path / "locks"))
    (tmp_path / "locks").mkdir()
    holder = subprocess.Popen(
        [sys.executable, "-c",
         "import qelaudio, sys, time\n"
         "c = qelaudio.Dispatch('QelAudioEditor4.AudioEditor')\n"
         "print('ready', flush=True)\n"
         "time.sleep(60)\n"],
        env=env, stdout=subprocess.PIPE, text=True)
    assert holder.stdout.readline().strip() == "ready"
    holder.kill()
    holder.wait()
    stale = tmp_path / "qelCCC3.qelf"
    stale.write_text("x")
    script = ("import qelaudio, sys\n"
              "c = qelaudio.Dispatch('QelAudioEditor4.AudioEditor')\n"
              "c.TempDirectory = sys.argv[1] + '/'\n")
    subprocess.run([sys.executable, "-c", script, str(tmp_path)], env=env, check=True)
    assert not stale.exists()
