#!/usr/bin/env bash
# Makes a one-hour 44.1 kHz stereo 16-bit WAV (noise) and a 192 kb/s MP3 of it
# in a temporary directory, then times, best of several runs each:
#   cp of the WAV                 against  media_bench Media/DecodeWav and Media/WriteWav
#   ffmpeg -i in.mp3 out.wav      against  media_bench Media/DecodeMp3
# and prints the seconds side by side with the ratio to the reference tool.
# Usage: bench/media/run.sh [build-dir]
#   QEL_BENCH_SECONDS (3600) sets the length, QEL_BENCH_RUNS (3) the number of runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-${QEL_BUILD_DIR:-build}}
bench="$build/bench/media/media_bench"
[[ -x $bench ]] || { echo "build $bench first (ninja -C $build media_bench qelmedia)" >&2; exit 1; }
seconds=${QEL_BENCH_SECONDS:-3600}
runs=${QEL_BENCH_RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/qelmediabench-XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "making $seconds s of audio in $work ..." >&2
head -c $((seconds * 44100 * 4)) /dev/urandom >"$work/noise.raw"
ffmpeg -nostdin -hide_banner -loglevel error -f s16le -ar 44100 -ac 2 -i "$work/noise.raw" \
  -c:a pcm_s16le "$work/in.wav"
rm "$work/noise.raw"
ffmpeg -nostdin -hide_banner -loglevel error -i "$work/in.wav" -c:a libmp3lame -b:a 192k "$work/in.mp3"
sync
cat "$work/in.wav" "$work/in.mp3" >/dev/null  # every run reads from a warm cache

# Best wall time in seconds of a command run $runs times, writeback settled in between.
best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    rm -f "$work/copy.wav" "$work/out.wav"
    sync
    local t=$((end - start))
    if [[ -z $best || $t -lt $best ]]; then best=$t; fi
  done
  echo "$best"
}

cp_ns=$(best_of cp "$work/in.wav" "$work/copy.wav")
ffmpeg_ns=$(best_of ffmpeg -nostdin -y -i "$work/in.mp3" "$work/out.wav")

QEL_BENCH_WAV="$work/in.wav" QEL_BENCH_MP3="$work/in.mp3" "$bench" \
  --benchmark_repetitions="$runs" --benchmark_out="$work/result.json" \
  --benchmark_out_format=json >"$work/bench.log" 2>&1 || { cat "$work/bench.log" >&2; exit 1; }

python3 - "$work/result.json" "$cp_ns" "$ffmpeg_ns" "$seconds" <<'PY'
import json, sys
cp, ffmpeg = int(sys.argv[2]) / 1e9, int(sys.argv[3]) / 1e9
best = {}
for r in json.load(open(sys.argv[1]))["benchmarks"]:
    if r.get("run_type") == "iteration":
        name = r["run_name"].split("/iterations")[0]
        seconds = r["real_time"] / 1e3  # milliseconds
        best[name] = min(best.get(name, seconds), seconds)
print(f"{sys.argv[4]} s of 44.1 kHz stereo, best of each   seconds   reference   ratio")
rows = [("Media/DecodeWav", "cp", cp), ("Media/WriteWav", "cp", cp),
        ("Media/DecodeMp3", "ffmpeg -i in.mp3 out.wav", ffmpeg)]
print(f"{'cp in.wav':<40}{cp:>8.2f}")
print(f"{'ffmpeg -i in.mp3 out.wav':<40}{ffmpeg:>8.2f}")
for name, ref_name, ref in rows:
    if name in best:
        print(f"{name:<40}{best[name]:>8.2f}   {ref_name:<26}{best[name] / ref:>5.2f}x")
PY
