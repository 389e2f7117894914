#!/usr/bin/env bash
# Copies one 600 MB sample-store file with cp and with sample_store_bench, in the
# same temporary directory, and prints the best throughput of each over several
# runs and its ratio to cp's.
# Usage: bench/sample_store/run.sh [build-dir]
#   QEL_BENCH_MB (600) sets the size, QEL_BENCH_RUNS (5) the number of runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-${QEL_BUILD_DIR:-build}}
bench="$build/bench/sample_store/sample_store_bench"
[[ -x $bench ]] || { echo "build $bench first (ninja -C $build sample_store_bench)" >&2; exit 1; }
mb=${QEL_BENCH_MB:-600}
runs=${QEL_BENCH_RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/qelbench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# 44.1 kHz stereo 16-bit header, then random data (no holes for cp to skip).
printf '\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00\x00\x00' >"$work/source.qelf"
head -c $((mb << 20)) /dev/urandom >>"$work/source.qelf"
sync
cat "$work/source.qelf" >/dev/null  # every copy reads from a warm cache

# cp, timed like the benchmark: one whole copy per run, writeback settled in between.
: >"$work/cp.txt"
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  cp "$work/source.qelf" "$work/copy.qelf"
  end=$(date +%s%N)
  rm -f "$work/copy.qelf"
  sync
  echo $((end - start)) >>"$work/cp.txt"
done

QEL_BENCH_SOURCE="$work/source.qelf" "$bench" --benchmark_repetitions="$runs" \
  --benchmark_out="$work/result.json" --benchmark_out_format=json >"$work/bench.log" 2>&1 ||
  { cat "$work/bench.log" >&2; exit 1; }

python3 - "$work/result.json" "$work/cp.txt" "$mb" <<'PY'
import json, sys
bytes_ = int(sys.argv[3]) << 20
cp = bytes_ / (min(int(line) for line in open(sys.argv[2])) / 1e9) / 1e6
best = {}
for r in json.load(open(sys.argv[1]))["benchmarks"]:
    if r.get("run_type") == "iteration":
        name = r["run_name"].split("/iterations")[0]
        best[name] = max(best.get(name, 0), r["bytes_per_second"] / 1e6)
print(f"copy of {sys.argv[3]} MB, best of each     MB/s     of cp")
print(f"{'cp':<30}{cp:>10.0f}{1:>10.0%}")
for name, rate in best.items():
    print(f"{name:<30}{rate:>10.0f}{rate / cp:>10.0%}")
PY
