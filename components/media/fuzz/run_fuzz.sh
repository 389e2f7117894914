#!/usr/bin/env bash
# Builds the media-file fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in its own build folder, makes a seed corpus of
# small files with ffmpeg and sox, and fuzzes the opening path for a while.
# Usage: components/media/fuzz/run_fuzz.sh [seconds (60)] [build-dir (build-fuzz)]
# Findings land in the build folder as crash-* / leak-* / timeout-* files.
set -euo pipefail
cd "$(dirname "$0")/../../.."
seconds=${1:-60}
build=${2:-build-fuzz}
# Every fuzz target shares this configuration (scripts/fuzz.sh builds the others
# in the same folder): the folders no target needs are left out.
QEL_FUZZ_SKIP="src/editing;src/processing;src/view;components/dtmf;components/plugins;components/audio;hosts/python;tests;bench"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPython3_EXECUTABLE=/usr/bin/python3 -DQEL_FUZZ=ON -DQEL_SANITIZE=ON \
  -DQEL_BUILD_PYTHON=OFF -DQEL_BUILD_BENCH=OFF \
  -DQEL_SKIP="$QEL_FUZZ_SKIP" >/dev/null
ninja -C "$build" media_open_fuzzer

corpus="$build/media-fuzz-corpus"
rm -rf "$corpus" && mkdir -p "$corpus"
work=$(mktemp -d "${TMPDIR:-/tmp}/qelfuzzseed-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The target's first byte picks the file's extension (its order in the target).
extensions=(wav mp3 flac ogg opus m4a mp4 mov mkv avi aiff w64 raw bin)
seed() {  # seed <file> <extension>
  local i
  for i in "${!extensions[@]}"; do
    if [[ ${extensions[$i]} == "$2" ]]; then
      { printf "\\x$(printf %02x "$i")"; cat "$1"; } >"$corpus/$(basename "$1").$2"
      return
    fi
  done
}
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
tone="-f lavfi -i sine=f=440:d=0.3"
ff $tone -c:a pcm_u8 "$work/u8.wav" && seed "$work/u8.wav" wav
ff $tone -c:a pcm_s16le "$work/s16.wav" && seed "$work/s16.wav" wav
ff $tone -c:a pcm_s24le -ac 6 "$work/s24x6.wav" && seed "$work/s24x6.wav" wav
ff $tone -c:a pcm_f32le "$work/f32.wav" && seed "$work/f32.wav" wav
ff $tone -rf64 always "$work/rf64.wav" && seed "$work/rf64.wav" wav
ff $tone "$work/a.w64" && seed "$work/a.w64" w64
ff $tone "$work/a.aiff" && seed "$work/a.aiff" aiff
ff $tone -ac 2 "$work/a.flac" && seed "$work/a.flac" flac
ff $tone -b:a 64k "$work/a.mp3" && seed "$work/a.mp3" mp3
ff $tone -c:a libvorbis "$work/a.ogg" && seed "$work/a.ogg" ogg
ff $tone -c:a libopus "$work/a.opus" && seed "$work/a.opus" opus
ff $tone -c:a aac "$work/a.m4a" && seed "$work/a.m4a" m4a
video="-f lavfi -i testsrc=size=32x24:rate=5:duration=0.4"
ff $video $tone -c:v mpeg4 -c:a aac "$work/a.mp4" && seed "$work/a.mp4" mp4
ff $video $tone -c:v mpeg4 -c:a pcm_s16le "$work/a.mov" && seed "$work/a.mov" mov
ff $video $tone -c:v mpeg4 -c:a flac "$work/a.mkv" && seed "$work/a.mkv" mkv
ff $video $tone -c:v mpeg4 -c:a pcm_s16le "$work/a.avi" && seed "$work/a.avi" avi
sox -n -r 8000 -c 1 "$work/sox.wav" synth 0.2 sine 300 && seed "$work/sox.wav" wav
head -c 4000 /dev/urandom >"$work/noise.raw" && seed "$work/noise.raw" raw
# A wave file with a marker: cue point, label, note and region text.
python3 - "$work/markers.wav" <<'PY'
import struct, sys
data = bytes(800)
fmt = struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)
cue = struct.pack("<I", 1) + struct.pack("<II4sIII", 1, 100, b"data", 0, 0, 100)
def sub(tag, body):
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")
adtl = b"adtl" + sub(b"labl", struct.pack("<I", 1) + b"label\0") + sub(b"note", struct.pack("<I", 1) + b"note\0") \
    + sub(b"ltxt", struct.pack("<II4sHHHH", 1, 50, b"rgn ", 0, 0, 0, 65001) + b"Marker_Text=Color:1\0")
body = b"WAVE" + sub(b"fmt ", fmt) + sub(b"data", data) + sub(b"cue ", cue) + sub(b"LIST", adtl)
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
seed "$work/markers.wav" wav

echo "seed corpus: $(ls "$corpus" | wc -l) files in $corpus"
cd "$build"
./components/media/fuzz/media_open_fuzzer -max_total_time="$seconds" -rss_limit_mb=4096 \
  -timeout=20 -print_final_stats=1 media-fuzz-corpus
