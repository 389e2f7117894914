#!/usr/bin/env python3
"""The control's own open and save of long files, side by side with the tools.

OpenFile of a one-hour stereo 16-bit 44.1 kHz WAV against `cp` of it, SaveFile
of the document as WAV against `cp`, and OpenFile of a 192 kb/s MP3 of it
against `ffmpeg -i in.mp3 out.wav` (QEL_BENCH_SECONDS sets the length; making
the MP3 takes a while). Best of QEL_BENCH_RUNS (3). From the build folder:

    PYTHONPATH=python /usr/bin/python3 ../bench/media/control_run.py
"""
import os
import shutil
import subprocess
import tempfile
import time

import qelaudio


def best(fn, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def quiet(*cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    seconds = int(os.environ.get("QEL_BENCH_SECONDS", "3600"))
    runs = int(os.environ.get("QEL_BENCH_RUNS", "3"))
    work = tempfile.mkdtemp(prefix="qelmediabench-")
    os.environ["TMPDIR"] = work
    try:
        wav = os.path.join(work, "in.wav")
        mp3 = os.path.join(work, "in.mp3")
        quiet("ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i",
              f"anoisesrc=d={seconds}:c=pink:r=44100:a=0.3", "-ac", "2", "-c:a", "pcm_s16le", wav)
        quiet("ffmpeg", "-nostdin", "-y", "-i", wav, "-b:a", "192k", mp3)
        copy = os.path.join(work, "copy.wav")

        def cp():
            quiet("cp", wav, copy)
            os.remove(copy)

        def ffmpeg_decode():
            quiet("ffmpeg", "-nostdin", "-y", "-i", mp3, copy)
            os.remove(copy)

        control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
        control.UndoRedoCount = 1
        saved = os.path.join(work, "saved.wav")
        t_cp = best(cp, runs)
        t_open = best(lambda: control.OpenFile(wav, -1, 0, 0, 0, 0, 0), runs)
        t_save = best(lambda: control.SaveFile(saved, False, 0, 37), runs)
        t_ffmpeg = best(ffmpeg_decode, runs)
        t_mp3 = best(lambda: control.OpenFile(mp3, -1, 0, 0, 0, 0, 0), runs)
        control.Close()
        print(f"{seconds} s of stereo 16-bit 44.1 kHz audio, best of {runs}")
        print(f"cp in.wav                  {t_cp:7.3f} s")
        print(f"OpenFile in.wav            {t_open:7.3f} s  {t_open / t_cp:5.2f} x cp")
        print(f"SaveFile as WAV            {t_save:7.3f} s  {t_save / t_cp:5.2f} x cp")
        print(f"ffmpeg -i in.mp3 out.wav   {t_ffmpeg:7.3f} s")
        print(f"OpenFile in.mp3            {t_mp3:7.3f} s  {t_mp3 / t_ffmpeg:5.2f} x ffmpeg")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
