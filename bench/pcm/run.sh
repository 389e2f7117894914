#!/usr/bin/env bash
# Side-by-side speed of the conversion library and sox on the same material:
# makes a stereo 16-bit 44.1 kHz wave file with sox in a temporary folder (one
# hour by default; PCM_BENCH_SECONDS=600 for a shorter run), times sox's own
# conversions of it, runs pcm_bench on it (in-memory 100 ms blocks) and prints
# real-time factors and ratios.
#
#   bench/pcm/run.sh [build-dir]        (default: build-pcm at the top of the tree)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-pcm}
seconds=${PCM_BENCH_SECONDS:-3600}
bench=$build/bench/pcm/pcm_bench

command -v sox >/dev/null || { echo "sox is needed (apt-get install sox)" >&2; exit 1; }
if [[ ! -x $bench ]]; then
  ninja -C "$build" pcm_bench >/dev/null
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
in=$tmp/in.wav

echo "material: ${seconds} s of stereo 16-bit 44.1 kHz pink noise with a tone"
sox -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" pinknoise synth "$seconds" sine mix 997 \
  gain -12 2>/dev/null

# Wall-clock seconds of one command (best of two, to settle the page cache).
time_it() {
  local best=""
  for _ in 1 2; do
    local start end t
    start=$(date +%s.%N)
    "$@" 2>/dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [[ -z $best ]] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
  done
  echo "$best"
}

sox_q=$(time_it sox "$in" "$tmp/q.wav" rate -q 48000)
sox_v=$(time_it sox "$in" "$tmp/v.wav" rate -v 48000)
sox_d=$(time_it sox "$in" -b 8 "$tmp/d.wav" dither -s)
rm -f "$tmp"/q.wav "$tmp"/v.wav "$tmp"/d.wav

"$bench" --wav="$in" --benchmark_format=csv 2>/dev/null >"$tmp/bench.csv"

# name -> seconds per pass (real time, ms in the CSV)
ours() { awk -F, -v n="\"$1" 'index($1, n) == 1 { print $3 / 1000; exit }' "$tmp/bench.csv"; }

lin=$(ours "linear_44k1_to_48k/threads:0")
lin1=$(ours "linear_44k1_to_48k/threads:1")
hq=$(ours "high_quality_44k1_to_48k/threads:0")
hq1=$(ours "high_quality_44k1_to_48k/threads:1")
dit=$(ours "dither_shaped_16_to_8bit/threads:0")

row() {  # label, our seconds, sox label, sox seconds, goal
  local rt sox_rt ratio
  rt=$(echo "$seconds / $2" | bc -l)
  sox_rt=$(echo "$seconds / $4" | bc -l)
  ratio=$(echo "$4 / $2" | bc -l)
  printf "%-34s %8.3f s %8.0fx  | %-30s %8.3f s %6.0fx | %5.2fx (goal %s)\n" \
    "$1" "$2" "$rt" "$3" "$4" "$sox_rt" "$ratio" "$5"
}

echo
printf "%-34s %10s %9s  | %-30s %10s %7s | %s\n" "library (100 ms blocks, memory)" "time" "realtime" \
  "sox (file to file)" "time" "rt" "speed-up"
row "linear 44.1->48 kHz"              "$lin"  "rate -q 48000"        "$sox_q" ">= 2"
row "linear 44.1->48 kHz, 1 thread"    "$lin1" "rate -q 48000"        "$sox_q" ">= 2"
row "high quality 44.1->48 kHz"        "$hq"   "rate -v 48000"        "$sox_v" ">= 1"
row "high quality, 1 thread"           "$hq1"  "rate -v 48000"        "$sox_v" ">= 1"
row "16->8 bit, dither + shaping"      "$dit"  "-b 8 dither -s"       "$sox_d" ">= 3"
