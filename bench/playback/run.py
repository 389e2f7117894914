#!/usr/bin/env python3
"""Playback of a long document through the control, beside aplay of the same
audio into the same ALSA devices.

A one-hour stereo 16-bit 44.1 kHz document of noise (QEL_BENCH_SECONDS sets the
length) is played QEL_BENCH_RUNS (5) times, interleaved with aplay, `sync`
before every run; the figures are medians. Each run is a child process, so that
the player's statistics (QEL_PLAYER_STATS, printed on standard error when its
stream ends) can be read. Measured per run:

- start: from Play (or aplay's start) to the first bytes coming out of an ALSA
  `file` device whose file is a FIFO (the same device and method for both);
- CPU: the host thread's CPU time (the control's calls and the message loop)
  and the whole process's, over a QEL_BENCH_WINDOW (10) s window of playing
  into the `null` device, as a share of one core. aplay writes into `null` as
  fast as it can, so its figure is its CPU time for the whole document scaled
  to the same window of audio;
- underruns: counted by the player (its statistics line) and by aplay (its
  "underrun" warnings).

Then paced playback under load: a QEL_BENCH_PACED_SECONDS (600) s document
played to its end into the null sink of a PulseAudio daemon of the benchmark's
own (a device with a clock of its own), while the host thread repaints the
control in a headless window every QEL_BENCH_FRAME_MS (50) ms between slices of
its message loop, and writes a snapshot once a second. aplay plays the same
audio into the same sink at the same time. Measured: underruns, the host
thread's and the process's CPU, the share of the wall time spent painting, and
how long each took to play the document.

From the build folder:

    PYTHONPATH=python /usr/bin/python3 ../bench/playback/run.py            # everything
    PYTHONPATH=python /usr/bin/python3 ../bench/playback/run.py --paced    # the paced part
"""
import json
import os
import resource
import select
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

import pulse_server

RATE, CHANNELS, BITS = 44100, 2, 16
ALIGN = CHANNELS * BITS // 8


def make_audio(store, wav, seconds):
    """The same frames as a sample-store file (for the control) and a WAV (for aplay)."""
    data_bytes = seconds * RATE * ALIGN
    fmt = struct.pack("<HHIIHH", 1, CHANNELS, RATE, RATE * ALIGN, ALIGN, BITS)
    second = os.urandom(RATE * ALIGN)
    with open(store, "wb") as s, open(wav, "wb") as w:
        s.write(fmt + struct.pack("<H", 0))
        w.write(b"RIFF" + struct.pack("<I", 36 + data_bytes) + b"WAVEfmt " +
                struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", data_bytes))
        for _ in range(seconds):
            s.write(second)
            w.write(second)


def alsa_config(folder, fifo):
    conf = os.path.join(folder, "bench.conf")
    with open(conf, "w") as f:
        f.write(f'pcm.qel_fifo {{ type file slave.pcm "null" file "{fifo}" format "raw"\n'
                '  hint { show on description "bench fifo" } }\n')
    return f"/usr/share/alsa/alsa.conf:{conf}"


def wait_for_bytes(fd, timeout=30):
    """Seconds until the FIFO has something to read (then drains what is there)."""
    ready, _, _ = select.select([fd], [], [], timeout)
    if not ready:
        raise RuntimeError("nothing came out of the device")
    now = time.monotonic()
    os.read(fd, 1 << 16)
    return now


def underruns(stderr):
    total = 0
    for line in stderr.splitlines():
        if line.startswith("qel-player:"):
            total += int(line.split(",")[1].split()[0])
    return total


# ---- the child: one run of the control ----

def child(store, fifo, window):
    import qelaudio
    control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    control.OpenFileFromTmp(store, 0, 0, 0, 0)
    device = control.Playback.Device

    def choose(name):
        for i in range(device.Count):
            device.Num = i
            if device.Name == name:
                return
        raise RuntimeError(f"no device {name}")

    # Start: into the FIFO, whose reader is open before the device is.
    fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    choose("qel_fifo")
    start = time.monotonic()
    control.Play(2, 0)
    first = wait_for_bytes(fd)
    control.Stop()
    os.close(fd)

    # CPU over a window of steady playing into null (after a second to settle).
    choose("null")
    control.Play(2, 0)
    qelaudio.run_messages(control, 1.0)
    thread0, usage0, wall0 = time.thread_time(), resource.getrusage(resource.RUSAGE_SELF), \
        time.monotonic()
    qelaudio.run_messages(control, window)
    thread1, usage1, wall1 = time.thread_time(), resource.getrusage(resource.RUSAGE_SELF), \
        time.monotonic()
    status = control.Status
    control.Stop()
    wall = wall1 - wall0
    cpu = (usage1.ru_utime + usage1.ru_stime) - (usage0.ru_utime + usage0.ru_stime)
    print(json.dumps({"start": first - start, "host": (thread1 - thread0) / wall,
                      "process": cpu / wall, "playing": status == 1}))


def paced_child(store, folder, frame_ms):
    """Plays the whole document into qel_pulse while the host thread repaints the
    control as a host's event loop would, with the play cursor moving."""
    import qelaudio
    control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    control.OpenFileFromTmp(store, 0, 0, 0, 0)
    window = qelaudio.HeadlessWindow(control, 1024, 256)
    before = time.perf_counter()
    window.paint()
    first_paint = time.perf_counter() - before
    device = control.Playback.Device
    for i in range(device.Count):
        device.Num = i
        if device.Name == "qel_pulse":
            break
    else:
        raise RuntimeError("no device qel_pulse")
    snapshot = os.path.join(folder, "frame.png")
    frame = frame_ms / 1000
    frames = painted = 0
    painting = 0.0
    thread0, usage0, wall0 = time.thread_time(), resource.getrusage(resource.RUSAGE_SELF), \
        time.monotonic()
    control.Play(2, 0)
    while control.Status == 1:
        qelaudio.run_messages(control, frame, lambda: control.Status != 1)
        before = time.perf_counter()
        frames += 1
        if frames % max(1, round(1 / frame)) == 0:
            window.snapshot(snapshot)  # paints first when the picture changed
            painted += 1
        elif window.paint():
            painted += 1
        painting += time.perf_counter() - before
    thread1, usage1, wall1 = time.thread_time(), resource.getrusage(resource.RUSAGE_SELF), \
        time.monotonic()
    control.Stop()
    wall = wall1 - wall0
    cpu = (usage1.ru_utime + usage1.ru_stime) - (usage0.ru_utime + usage0.ru_stime)
    print(json.dumps({"wall": wall, "host": (thread1 - thread0) / wall, "process": cpu / wall,
                      "painting": painting / wall, "frames": frames, "painted": painted,
                      "first_paint": first_paint}))


# ---- the parent ----

def control_run(store, fifo, window, env):
    os.sync()
    r = subprocess.run([sys.executable, __file__, "--child", store, fifo, str(window)],
                       env=env, capture_output=True, text=True, check=True)
    result = json.loads(r.stdout.strip().splitlines()[-1])
    result["underruns"] = underruns(r.stderr)
    return result


def aplay_run(wav, fifo, seconds, window, env):
    os.sync()
    fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    start = time.monotonic()
    p = subprocess.Popen(["aplay", "-q", "-D", "qel_fifo", wav], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    first = wait_for_bytes(fd)
    p.kill()
    p.wait()
    os.close(fd)
    os.sync()
    p = subprocess.Popen(["aplay", "-D", "null", wav], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    _, err = p.communicate()
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return {"start": first - start, "cpu_total": usage.ru_utime + usage.ru_stime,
            "underruns": err.count("underrun")}


def paced(seconds, frame_ms):
    """The control and aplay side by side into the same PulseAudio null sink."""
    why = pulse_server.missing()
    if why:
        print(f"paced playback skipped: {why}")
        return
    work = tempfile.mkdtemp(prefix="qelpacedbench-")
    try:
        store, wav = os.path.join(work, "doc.qelf"), os.path.join(work, "doc.wav")
        make_audio(store, wav, seconds)
        conf = os.path.join(work, "pulse.conf")
        with open(conf, "w") as f:
            f.write(pulse_server.ALSA_DEVICE)
        with pulse_server.running(os.path.join(work, "pulse")) as client:
            env = dict(os.environ, **client, TMPDIR=work, QEL_PLAYER_STATS="1",
                       ALSA_CONFIG_PATH=f"/usr/share/alsa/alsa.conf:{conf}")
            os.sync()
            started = time.monotonic()
            theirs = subprocess.Popen(["aplay", "-D", "qel_pulse", wav], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                      text=True)
            ours = subprocess.run([sys.executable, __file__, "--paced-child", store, work,
                                   str(frame_ms)], env=env, capture_output=True, text=True,
                                  check=True)
            # wait4 gives aplay's own CPU time, whatever other children did.
            _, status, usage = os.wait4(theirs.pid, 0)
            aplay_wall = time.monotonic() - started
            theirs.returncode = os.waitstatus_to_exitcode(status)
            aplay_err = theirs.stderr.read()
            theirs.stderr.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    r = json.loads(ours.stdout.strip().splitlines()[-1])
    aplay_cpu = usage.ru_utime + usage.ru_stime
    print(f"paced: {seconds} s into a PulseAudio null sink, control repainted every "
          f"{frame_ms:g} ms, aplay beside it")
    stats = [line for line in ours.stderr.splitlines() if line.startswith("qel-player:")]
    if not stats:
        print("warning: the player printed no statistics (was the stream opened?)")
    print(f"underruns: control {underruns(ours.stderr)}, aplay {aplay_err.count('underrun')}; "
          f"the player's own line: {'; '.join(stats)}")
    print(f"CPU: control host thread {r['host'] * 100:.2f} %, control process "
          f"{r['process'] * 100:.2f} %, aplay {aplay_cpu / aplay_wall * 100:.2f} %")
    per_picture = r["painting"] * r["wall"] / max(1, r["painted"])
    print(f"painting: {r['painting'] * 100:.2f} % of the wall time, {r['painted']} pictures "
          f"in {r['frames']} frames ({per_picture * 1000:.2f} ms each), first picture "
          f"{r['first_paint'] * 1000:.1f} ms")
    print(f"time to play {seconds} s: control {r['wall']:.2f} s, aplay {aplay_wall:.2f} s "
          "(with its start and drain)")


def main():
    seconds = int(os.environ.get("QEL_BENCH_SECONDS", "3600"))
    runs = int(os.environ.get("QEL_BENCH_RUNS", "5"))
    window = float(os.environ.get("QEL_BENCH_WINDOW", "10"))
    work = tempfile.mkdtemp(prefix="qelplaybench-")
    store, wav, fifo = (os.path.join(work, n) for n in ("doc.qelf", "doc.wav", "out.fifo"))
    os.mkfifo(fifo)
    make_audio(store, wav, seconds)
    env = dict(os.environ, TMPDIR=work, QEL_PLAYER_STATS="1",
               ALSA_CONFIG_PATH=alsa_config(work, fifo))
    ours, theirs = [], []
    cpu_before = 0.0
    try:
        for _ in range(runs):
            ours.append(control_run(store, fifo, window, env))
            a = aplay_run(wav, fifo, seconds, window, env)
            # RUSAGE_CHILDREN sums every child so far: take this run's share.
            a["cpu_total"], cpu_before = a["cpu_total"] - cpu_before, a["cpu_total"]
            theirs.append(a)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    def med(rows, key):
        return statistics.median(r[key] for r in rows)

    print(f"{seconds} s stereo 16-bit 44.1 kHz, medians of {runs} interleaved runs")
    print(f"start to first frame: control {med(ours, 'start') * 1000:.1f} ms, "
          f"aplay {med(theirs, 'start') * 1000:.1f} ms")
    # aplay's CPU for the whole document, per `window` seconds of audio.
    aplay_share = med(theirs, "cpu_total") * window / seconds / window
    print(f"CPU while playing ({window:g} s window): control host thread "
          f"{med(ours, 'host') * 100:.2f} %, control process {med(ours, 'process') * 100:.2f} %, "
          f"aplay {aplay_share * 100:.2f} % (its whole-file CPU per second of audio)")
    print(f"underruns: control {sum(r['underruns'] for r in ours)}, "
          f"aplay {sum(r['underruns'] for r in theirs)} (all runs)")
    if not all(r["playing"] for r in ours):
        print("warning: a control run was no longer playing at the end of its window")


if __name__ == "__main__":
    paced_seconds = int(os.environ.get("QEL_BENCH_PACED_SECONDS", "600"))
    frame_ms = float(os.environ.get("QEL_BENCH_FRAME_MS", "50"))
    if len(sys.argv) == 5 and sys.argv[1] == "--child":
        child(sys.argv[2], sys.argv[3], float(sys.argv[4]))
    elif len(sys.argv) == 5 and sys.argv[1] == "--paced-child":
        paced_child(sys.argv[2], sys.argv[3], float(sys.argv[4]))
    elif sys.argv[1:] == ["--paced"]:
        paced(paced_seconds, frame_ms)
    else:
        main()
        if paced_seconds > 0:
            paced(paced_seconds, frame_ms)
