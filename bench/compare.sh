#!/usr/bin/env bash
# Compares every benchmark of bench/ between two build folders on this machine:
# runs bench/run_all.sh for them alternately (before, after, before, after, ...)
# and prints a Markdown table of the medians over the rounds:
#
#   | quantity | before | after | after/before |
#
# Usage:
#
#   bench/compare.sh BEFORE_DIR AFTER_DIR [REPEATS]
#
# REPEATS goes to run_all.sh (repetitions of each Google Benchmark, 5).
# QEL_COMPARE_ROUNDS (2) sets the number of rounds. Each run's raw output and
# log are kept in QEL_COMPARE_OUT (a new folder in $TMPDIR by default), whose
# name is printed on standard error. The media inputs are made once and shared
# by all runs. Both builds are measured by the run_all.sh beside this script.
set -uo pipefail

if [[ $# -lt 2 || $# -gt 3 || ! -d $1 || ! -d $2 ]]; then
  echo "usage: $0 BEFORE_DIR AFTER_DIR [REPEATS]" >&2
  exit 2
fi
before=$(cd "$1" && pwd)
after=$(cd "$2" && pwd)
repeats=${3:-5}
rounds=${QEL_COMPARE_ROUNDS:-2}
here=$(cd "$(dirname "$0")" && pwd)
out=${QEL_COMPARE_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/qelcompare-XXXXXX")}
mkdir -p "$out"
echo "compare: raw outputs in $out" >&2

export QEL_BENCH_DATA=${QEL_BENCH_DATA:-$out/data}
owned_data=$([[ $QEL_BENCH_DATA == "$out/data" ]] && echo 1 || echo 0)

# When the benchmark sources of the two trees differ, a change in a figure may
# come from the benchmark rather than from the code it measures.
tree_of() { sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$1/CMakeCache.txt" 2>/dev/null; }
before_tree=$(tree_of "$before")
after_tree=$(tree_of "$after")
bench_diff=""
if [[ -n $before_tree && -n $after_tree && $before_tree != "$after_tree" ]]; then
  bench_diff=$(diff -rq "$before_tree/bench" "$after_tree/bench" 2>&1 | sed "s|$before_tree/||g; s|$after_tree/||g")
fi

for round in $(seq "$rounds"); do
  for side in before after; do
    dir=$before
    [[ $side == after ]] && dir=$after
    echo "compare: round $round/$rounds, $side ($dir)" >&2
    start=$(date +%s)
    "$here/run_all.sh" "$dir" "$repeats" >"$out/$side-$round.tsv" 2>"$out/$side-$round.log" ||
      echo "compare: $side, round $round: some benchmark failed, see $out/$side-$round.log" >&2
    echo "compare: $((($(date +%s) - start))) s" >&2
  done
done
[[ $owned_data == 1 ]] && rm -rf "$QEL_BENCH_DATA"

/usr/bin/python3 - "$out" "$rounds" "$before" "$after" <<'PY'
import statistics, sys
out, rounds = sys.argv[1], int(sys.argv[2])
order, values, units = [], {}, {}
seconds = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
for side in ("before", "after"):
    for r in range(1, rounds + 1):
        for line in open(f"{out}/{side}-{r}.tsv"):
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 3:
                continue
            name, value, unit = parts
            if name not in units:
                order.append(name)
                units[name] = unit
            v = float(value)
            if unit != units[name]:  # a time unit changed between the builds
                if unit not in seconds or units[name] not in seconds:
                    print(f"compare: {name}: {unit} against {units[name]}", file=sys.stderr)
                    continue
                v *= seconds[unit] / seconds[units[name]]
            values.setdefault((name, side), []).append(v)

def cell(v):
    return "—" if v is None else f"{v:.4g}"

print(f"Medians over {rounds} rounds; before = {sys.argv[3]}, after = {sys.argv[4]}.")
print()
print("| quantity | before | after | after/before |")
print("|---|---:|---:|---:|")
for name in order:
    b, a = (statistics.median(values[(name, s)]) if (name, s) in values else None
            for s in ("before", "after"))
    ratio = f"{a / b:.3f}" if a is not None and b else "—"
    print(f"| {name} ({units[name]}) | {cell(b)} | {cell(a)} | {ratio} |")
PY

if [[ -n $bench_diff ]]; then
  echo
  echo "The two trees' bench/ folders differ:"
  echo
  echo '```'
  echo "$bench_diff"
  echo '```'
fi
