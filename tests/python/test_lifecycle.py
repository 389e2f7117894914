"""The stale-file purge between processes: a control's instance ends with its
process, however it ends. Defaults, the history capacity, the temporary
directory and the purge between controls of one process are tested in the C++
core suite (Lifecycle, History)."""
import os
import subprocess
import sys


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
