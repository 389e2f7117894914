#!/usr/bin/env bash
# Runs every libFuzzer target for a while, each under AddressSanitizer and
# UndefinedBehaviorSanitizer: the opening of media files (with its own seed
# corpus, components/media/fuzz), the batch chain's XML, the reading of
# sample-store files and late binding (names, identifiers, arguments). All
# share one clang build folder.
# Usage: scripts/fuzz.sh [seconds per target (30)] [build-dir (build-fuzz)]
# Exits non-zero when a target found something; findings (crash-*, leak-*,
# timeout-*) are left in the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${2:-build-fuzz}
status=0

echo "-- media files"
bash components/media/fuzz/run_fuzz.sh "$seconds" "$build" || status=1
ninja -C "$build" batch_xml_fuzzer store_header_fuzzer dispatch_fuzzer >/dev/null

run() {  # run <target binary> <corpus folder>
  (cd "$build" && "$1" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 \
    -print_final_stats=1 "$2") || status=1
}

echo "-- batch XML"
corpus="$build/batch-fuzz-corpus"
rm -rf "$corpus" && mkdir -p "$corpus"
seed=0
for xml in \
  '<effects><amplify percent="90"/></effects>' \
  '<effects><highpass frequency="80" steepness="0.7071"/><compressor threshold="-24" ratio="3" rms="30" makeup="6"/><peak gain="3" frequency="3000" steepness="1"/></effects>' \
  '<effects><timestretch rate="0.8"/><pitchshift rate="0.8909"/><reverb mix="25" feedback="70" damping="6000"/></effects>' \
  '<effects><fade from="0" to="100"/><envelope times="0 20 40" levels="0 100 50"/><equalizer/><fftfilter/></effects>'; do
  # Two leading bytes choose the channel count and the sample size.
  { printf '\x01\x01'; printf '%s' "$xml"; } >"$corpus/seed$((seed++))"
done
run components/effects/fuzz/batch_xml_fuzzer batch-fuzz-corpus

echo "-- sample-store files"
corpus="$build/store-fuzz-corpus"
rm -rf "$corpus" && mkdir -p "$corpus"
python3 - "$corpus" <<'PY'
import struct, sys
folder = sys.argv[1]
def store(name, tag, channels, rate, bits, extra=b"", frames=64):
    align = bits // 8 * channels
    head = struct.pack("<HHIIHHH", tag, channels, rate, align * rate, align, bits, len(extra)) + extra
    open(f"{folder}/{name}", "wb").write(head + bytes(range(256)) * (frames * align // 256 + 1))
store("plain16", 1, 2, 44100, 16)
store("plain8", 1, 1, 8000, 8)
store("ext24", 0xFFFE, 6, 48000, 24, struct.pack("<HI", 24, 0x3F) + bytes(16))
store("ext32", 0xFFFE, 4, 96000, 32, struct.pack("<HI", 32, 0x33) + bytes(16))
PY
run src/document/fuzz/store_header_fuzzer store-fuzz-corpus

echo "-- late binding"
corpus="$build/dispatch-fuzz-corpus"
rm -rf "$corpus" && mkdir -p "$corpus"
# Calls by known name on each interface, with a few arguments of each type.
for i in 0 1 2 3 4 5; do
  printf "\\x0$i\\x00\\x07\\x01\\x03\\x01\\x00\\x00\\x00\\x2a\\x02\\x40\\x59\\x00\\x00\\x00\\x00\\x00\\x00\\x03\\x04abcd" >"$corpus/seed$i"
done
run src/core/fuzz/dispatch_fuzzer dispatch-fuzz-corpus

exit $status
