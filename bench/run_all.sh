#!/usr/bin/env bash
# Runs every benchmark of bench/ once for one build folder and prints one line
# per measured quantity on standard output:
#
#   name<TAB>value<TAB>unit
#
# Progress and warnings go to standard error. Usage:
#
#   bench/run_all.sh BUILD_DIR [REPEATS]
#
# What runs, with `sync` before each:
#   - every Google Benchmark executable BUILD_DIR/bench/*/*_bench, with
#     --benchmark_repetitions=REPEATS (5) --benchmark_report_aggregates_only=true;
#     the value is the median real time of the repetitions. Lengths (the
#     whole run took three and a half minutes on the 2-core development
#     machine with another build running beside it):
#       media_bench         decodes a WAV (318 MB) and a 192 kb/s MP3 of
#                           QEL_BENCH_MEDIA_SECONDS (1800 s) of stereo 16-bit
#                           44.1 kHz pink noise; its WriteWav always writes one hour
#       pcm_bench           its own minute of synthetic material, three passes
#       sample_store_bench  a file of QEL_BENCH_MB (600) MB
#       view_bench          its own one-hour document (it has no length knob)
#   - editing/run.py with QEL_BENCH_SECONDS=QEL_BENCH_EDIT_SECONDS (1800 s,
#     318 MB) and media/control_run.py with QEL_BENCH_SECONDS=
#     QEL_BENCH_CONTROL_SECONDS (1800 s, 318 MB), both with
#     PYTHONPATH=BUILD_DIR/python and /usr/bin/python3, from the build folder;
#     effects/run.py likewise with QEL_BENCH_EFFECTS_SECONDS (1800 s; its
#     figures are medians of five interleaved runs beside sox); mouse/run.py
#     with QEL_BENCH_MOUSE_SECONDS (3600 s; medians and 99th percentiles of
#     every pointer move of five interleaved rounds).
#     Their values are the scripts' own figures: the best of their three runs,
#     not a median.
#
# The Python scripts are taken from the source tree the build folder was
# configured from (CMAKE_HOME_DIRECTORY in its CMakeCache.txt), so that they
# match the build's Python client; QEL_BENCH_TREE names another tree.
# Temporary files go to $TMPDIR (/tmp). When QEL_BENCH_DATA names a folder, the
# media inputs are made there once and reused by later runs (compare.sh does
# this, so that both builds decode the same files).
#
# The exit status is 1 when a benchmark failed or printed nothing; the lines of
# the others are printed all the same.
set -uo pipefail

if [[ $# -lt 1 || $# -gt 2 || ! -d $1 ]]; then
  echo "usage: $0 BUILD_DIR [REPEATS]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
repeats=${2:-5}
python=/usr/bin/python3
media_seconds=${QEL_BENCH_MEDIA_SECONDS:-1800}
store_mb=${QEL_BENCH_MB:-600}
edit_seconds=${QEL_BENCH_EDIT_SECONDS:-1800}
control_seconds=${QEL_BENCH_CONTROL_SECONDS:-1800}

here=$(cd "$(dirname "$0")/.." && pwd)
tree=${QEL_BENCH_TREE:-}
if [[ -z $tree && -f $build/CMakeCache.txt ]]; then
  tree=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
fi
if [[ -z $tree || ! -d $tree/bench ]]; then
  echo "run_all: no source tree found for $build; using $here" >&2
  tree=$here
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qelrunall-XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

note() { echo "run_all: $*" >&2; }

# Seconds since the epoch, with fractions, for the progress notes.
now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# The WAV and MP3 that media_bench decodes, made once per folder.
data=${QEL_BENCH_DATA:-$work/data}
mkdir -p "$data"
wav=$data/media-${media_seconds}s.wav
mp3=$data/media-${media_seconds}s.mp3
if [[ ! -s $wav || ! -s $mp3 ]]; then
  note "making ${media_seconds} s of audio for media_bench in $data"
  ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi \
    -i "anoisesrc=d=${media_seconds}:c=pink:r=44100:a=0.3:seed=1" -ac 2 -c:a pcm_s16le "$wav.tmp.wav" &&
    ffmpeg -nostdin -y -hide_banner -loglevel error -i "$wav.tmp.wav" -b:a 192k "$mp3.tmp.mp3" &&
    mv "$wav.tmp.wav" "$wav" && mv "$mp3.tmp.mp3" "$mp3" ||
    { note "cannot make the media files"; failed=1; }
fi
cat "$wav" "$mp3" >/dev/null 2>&1  # decoded from a warm cache, as bench/media/run.sh does

# Google Benchmark executables: name<TAB>median real time<TAB>unit per benchmark.
for exe in "$build"/bench/*/*_bench; do
  [[ -x $exe ]] || continue
  group=$(basename "$(dirname "$exe")")
  json=$work/$group.json
  note "$group: $(basename "$exe")"
  start=$(now)
  sync
  if ! TMPDIR=$work QEL_BENCH_WAV=$wav QEL_BENCH_MP3=$mp3 QEL_BENCH_MB=$store_mb \
    "$exe" --benchmark_repetitions="$repeats" --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json >"$work/$group.log" 2>&1; then
    note "$group failed:"
    tail -n 20 "$work/$group.log" >&2
    failed=1
    continue
  fi
  "$python" - "$json" "$group" <<'PY' || failed=1
import json, re, sys
result = json.load(open(sys.argv[1]))
group, printed, errors = sys.argv[2], 0, set()
for r in result["benchmarks"]:
    name = "/".join(p for p in r.get("run_name", r["name"]).split("/")
                    if not re.fullmatch(r"iterations:\d+|repeats:\d+|real_time|manual_time", p))
    if r.get("error_occurred") or r.get("skipped"):
        message = f"run_all: {group}/{name}: {r.get('error_message', 'skipped')}"
        if message not in errors:
            print(message, file=sys.stderr)
        errors.add(message)
    elif r.get("run_type") == "aggregate" and r.get("aggregate_name") == "median":
        print(f"{group}/{name}\t{r['real_time']:.6g}\t{r['time_unit']}")
        printed += 1
if printed == 0:
    print(f"run_all: {group}: no medians in the output", file=sys.stderr)
sys.exit(1 if errors or printed == 0 else 0)
PY
  note "$group: $(took "$start") s"
done

# A control-level script, run from the build folder; its "label  number unit"
# lines become quantities named group/label.
run_script() {
  local group=$1 script=$2 seconds=$3 start
  if [[ ! -f $script ]]; then
    note "$group: $script is missing"
    failed=1
    return
  fi
  note "$group: $(basename "$script"), QEL_BENCH_SECONDS=$seconds"
  start=$(now)
  sync
  if ! (cd "$build" && TMPDIR=$work QEL_BENCH_SECONDS=$seconds PYTHONPATH=$build/python \
    "$python" "$script" >"$work/$group.txt" 2>"$work/$group.log"); then
    note "$group failed:"
    tail -n 20 "$work/$group.log" >&2
    failed=1
    return
  fi
  # "DeleteSelect     254.000 ms  1.23 x cp", "OpenFile in.wav   0.220 s  1.17 x cp";
  # not "document: 1200 s stereo ...".
  if ! sed -nE "s/^(\S.*\S)\s+([0-9]+(\.[0-9]+)?) (ms|s)(  .*)?$/$group\/\1\t\2\t\4/p" \
    "$work/$group.txt" | grep .; then
    note "$group: nothing measured in its output:"
    cat "$work/$group.txt" >&2
    failed=1
  fi
  note "$group: $(took "$start") s"
}

run_script editing "$tree/bench/editing/run.py" "$edit_seconds"
run_script media_control "$tree/bench/media/control_run.py" "$control_seconds"
run_script effects "$tree/bench/effects/run.py" "${QEL_BENCH_EFFECTS_SECONDS:-1800}"
run_script mouse "$tree/bench/mouse/run.py" "${QEL_BENCH_MOUSE_SECONDS:-3600}"

exit "$failed"
