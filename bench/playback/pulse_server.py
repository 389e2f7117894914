"""A PulseAudio daemon of the benchmark's own, with a null sink: a device with a
clock of its own (unlike ALSA's `null`), reached through ALSA's pulse plug-in as
the device "qel_pulse". Everything the daemon and its clients keep (runtime,
state, cookie) lives in a folder of its own, so nothing of the user's is read
or written."""
import contextlib
import glob
import os
import shutil
import socket
import subprocess
import time

SERVER_SCRIPT = """\
load-module module-null-sink sink_name=qel_null rate=44100
load-module module-native-protocol-unix auth-anonymous=1 socket={socket}
set-default-sink qel_null
set-default-source qel_null.monitor
"""

ALSA_DEVICE = ('pcm.qel_pulse { type pulse hint { show on description "bench sound server" } }\n'
               'ctl.qel_pulse { type pulse }\n')


def missing():
    """Why the daemon cannot be started here, or None."""
    if not shutil.which("pulseaudio"):
        return "PulseAudio is not installed (Debian package pulseaudio)"
    if not glob.glob("/usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so"):
        return "ALSA's pulse plug-in is not installed (Debian package libasound2-plugins)"
    return None


def _answers(path):
    with socket.socket(socket.AF_UNIX) as s:
        try:
            s.connect(path)
            return True
        except OSError:
            return False


@contextlib.contextmanager
def running(folder):
    """Starts the daemon in folder and yields the environment additions its
    clients need (PULSE_SERVER, and a home of their own); stops it on leaving."""
    os.makedirs(folder, exist_ok=True)
    sock = os.path.join(folder, "native")
    script = os.path.join(folder, "server.pa")
    with open(script, "w") as f:
        f.write(SERVER_SCRIPT.format(socket=sock))
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=folder,
               XDG_CONFIG_HOME=os.path.join(folder, "config"),
               PULSE_RUNTIME_PATH=os.path.join(folder, "run"),
               PULSE_STATE_PATH=os.path.join(folder, "state"))
    log_path = os.path.join(folder, "server.log")
    with open(log_path, "wb") as log:
        daemon = subprocess.Popen(
            ["pulseaudio", "-n", "-F", script, "--daemonize=no", "--exit-idle-time=-1",
             "--use-pid-file=no", "--log-target=stderr"],
            env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            deadline = time.monotonic() + 10
            while daemon.poll() is None and not _answers(sock) and time.monotonic() < deadline:
                time.sleep(0.05)
            if daemon.poll() is not None or not _answers(sock):
                with open(log_path, errors="replace") as f:
                    raise RuntimeError("PulseAudio did not start: " + f.read()[-500:])
            client_home = os.path.join(folder, "client")
            os.makedirs(client_home, exist_ok=True)
            yield {"PULSE_SERVER": f"unix:{sock}", "HOME": client_home,
                   "XDG_CONFIG_HOME": os.path.join(client_home, "config")}
        finally:
            daemon.terminate()
            try:
                daemon.wait(5)
            except subprocess.TimeoutExpired:
                daemon.kill()
                daemon.wait()
