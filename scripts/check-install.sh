#!/usr/bin/env bash
# Checks the installed form of the control, from a finished build:
#
#   bash scripts/check-install.sh BUILD_DIR [--deb]
#
# Installs BUILD_DIR into a staging folder (DESTDIR) and, using that folder
# only (no build-tree paths, no LD_LIBRARY_PATH):
#  - the layout: versioned libraries, public headers only (each compiles on its
#    own), components, the Python module with its stub, the licence; every
#    RUNPATH $ORIGIN-relative; qel-regsvr --help;
#  - builds examples/cpp with find_package and a small host with pkg-config, and
#    runs them: the libraries and components they load come from the staging
#    folder, and the edited WAV has the format and length asked for;
#  - runs examples/python/edit.py the same way, and mypy checks it against the
#    installed stub (a wrong call must be reported, so the stub is really read);
#  - with --deb (or QEL_CHECK_DEB=1): builds the Debian package
#    (scripts/package.sh, a build of its own: several minutes) and checks its
#    file list and computed dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:?usage: check-install.sh BUILD_DIR [--deb]}
build=$(cd "$build" && pwd)
check_deb=${QEL_CHECK_DEB:-0}
[ "${2:-}" = "--deb" ] && check_deb=1

work=$(mktemp -d /tmp/qel-check-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-install: $*" >&2
  exit 1
}
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

prefix=$(cache CMAKE_INSTALL_PREFIX)
libdir=$(cache CMAKE_INSTALL_LIBDIR)
pydir=$(cache QEL_INSTALL_PYTHONDIR)
stage=$work/stage
staged=$stage$prefix
# What the checked programs run with: nothing that could lead them to the build
# tree or to another registration.
run() {
  env -u LD_LIBRARY_PATH -u QEL_COMPONENT_PATH -u PYTHONPATH -u MYPYPATH \
    QEL_REGISTRY_FILE="$work/registry.reg" TMPDIR="$work" QEL_LOCK_DIR="$work" "$@"
}

echo "== install $build into $stage (prefix $prefix)"
DESTDIR=$stage cmake --install "$build" >"$work/install.log" ||
  { cat "$work/install.log"; fail "install failed (is $build built?)"; }

echo "== layout"
for f in "$libdir/libqelaudioeditor.so.4" "$libdir/libqelaudioeditor.so" "$libdir/libqelcom.so.4" \
  "$libdir/qel-components/libqelmedia.so" "$libdir/qel-components/libqeleffects.so" \
  include/qelaudio/core/surface.h include/qelaudio/com/classtable.h \
  include/qelaudio/com/connection.h include/qelaudio/com/errorinfo.h \
  "$libdir/cmake/QelAudioEditor/QelAudioEditorConfig.cmake" \
  "$libdir/cmake/QelAudioEditor/QelAudioEditorConfigVersion.cmake" \
  "$libdir/pkgconfig/qelaudioeditor.pc" bin/qel-regsvr \
  "$pydir/qelaudio.pyi" "$pydir/qelaudio-stubs/__init__.pyi" share/doc/qelaudioeditor/LICENSE; do
  [ -e "$staged/$f" ] || fail "missing $prefix/$f"
done
ls "$staged/$pydir"/qelaudio.cpython-*.so >/dev/null || fail "missing the Python module"
soname=$(objdump -p "$staged/$libdir/libqelaudioeditor.so" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libqelaudioeditor.so.4 ] || fail "SONAME is '$soname'"
for private in com/registry.h core/audio_editor.h core/surface_defaults.h core/surface_events.h; do
  [ ! -e "$staged/include/qelaudio/$private" ] || fail "private header $private installed"
done
# Each public header compiles on its own: none of them reaches a header that
# is not installed.
for header in "$staged"/include/qelaudio/*/*.h; do
  echo "#include \"${header#"$staged"/include/qelaudio/}\"" |
    g++ -std=c++20 -fsyntax-only -I"$staged/include/qelaudio" -x c++ - ||
    fail "$header does not compile on its own"
done
# Every ELF file finds the libraries relative to itself, never in the build tree.
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q ELF || continue
  runpath=$(readelf -d "$file" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')
  # shellcheck disable=SC2016 # a literal $ORIGIN
  case "$runpath" in "" | '$ORIGIN'*) ;; *) fail "${file#"$stage"} has RUNPATH $runpath" ;; esac
done < <(find "$staged" -type f -print0)
help=$(run "$staged/bin/qel-regsvr" --help) || fail "qel-regsvr --help fails"
grep -q "usage: qel-regsvr" <<<"$help" || fail "qel-regsvr --help shows no usage"

echo "== a sound to edit"
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 3 sine 440 sine 660 vol 0.25
# The edited file: 22050 Hz mono 16-bit, two seconds (three less the cut one).
check_wav() {
  /usr/bin/python3 - "$1" <<'EOF' || fail "$1 is not the expected WAV"
import struct, sys
# RIFF chunks by hand: the file may be WAVE_FORMAT_EXTENSIBLE, which Python
# 3.11's wave module does not read.
with open(sys.argv[1], "rb") as f:
    riff, _, kind = struct.unpack("<4sI4s", f.read(12))
    assert (riff, kind) == (b"RIFF", b"WAVE"), "not RIFF WAVE"
    fmt = data = None
    while header := f.read(8):
        tag, size = struct.unpack("<4sI", header)
        body = f.read(size + (size & 1))[:size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            data = body
format_tag, channels, rate, _, align, bits = fmt
frames = len(data) // align
print(f"   {sys.argv[1].rsplit('/', 1)[-1]}: {rate} Hz, {channels} channel(s), {bits}-bit "
      f"(format tag {format_tag:#x}), {frames} frames")
assert format_tag in (1, 0xFFFE) and (rate, channels, bits) == (22050, 1, 16)
assert abs(frames - 2 * 22050) <= 2, frames
assert any(data), "silent"
EOF
}
# The qel libraries a run loaded all come from the staging folder.
check_loaded() {
  local loaded
  loaded=$(sed -n 's/.*calling init: \(.*\/libqel[^/]*\)$/\1/p' "$work"/ld.* | sort -u)
  rm -f "$work"/ld.*
  for lib in libqelcom libqelaudioeditor libqelmedia libqeleffects; do
    grep -q "/$lib\.so" <<<"$loaded" || fail "$1 did not load $lib"
  done
  while read -r path; do
    [[ $path == "$staged"/* ]] || fail "$1 loaded $path"
  done <<<"$loaded"
}

echo "== C++ host with find_package(QelAudioEditor 4)"
cmake -S examples/cpp -B "$work/cpp" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$staged" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/cpp.log" ||
  { cat "$work/cpp.log"; fail "examples/cpp does not configure"; }
grep -q "^QelAudioEditor_DIR:PATH=$staged/" "$work/cpp/CMakeCache.txt" ||
  fail "find_package found QelAudioEditor outside the staging folder"
cmake --build "$work/cpp" >>"$work/cpp.log" || { cat "$work/cpp.log"; fail "examples/cpp does not build"; }
help=$(run "$work/cpp/qel-example" --help) || fail "qel-example --help fails"
grep -q "usage: qel-example" <<<"$help" || fail "qel-example --help shows no usage"
run env LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld" \
  "$work/cpp/qel-example" "$work/in.wav" "$work/out-cpp.wav" >"$work/cpp-run.log" ||
  { cat "$work/cpp-run.log"; fail "qel-example failed"; }
grep -q "^  [0-9]* %$" "$work/cpp-run.log" || fail "qel-example printed no progress"
check_loaded qel-example
check_wav "$work/out-cpp.wav"

echo "== C++ host with pkg-config"
cat >"$work/host.cpp" <<'EOF'
#include "com/classtable.h"
#include "core/surface.h"
int main() {
  using namespace qel::com;
  CLSID clsid{};
  ComPtr<qel::IAudioEditor> editor;
  if (Failed(CLSIDFromProgID(u"QelAudioEditor4.AudioEditor", &clsid))) return 1;
  return Failed(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, qel::IAudioEditor::kIID,
                                 editor.OutVoid()));
}
EOF
pcflags=$(PKG_CONFIG_PATH="$staged/$libdir/pkgconfig" pkg-config --cflags --libs qelaudioeditor)
# shellcheck disable=SC2086
g++ -std=c++20 -o "$work/host" "$work/host.cpp" $pcflags -Wl,-rpath,"$staged/$libdir" ||
  fail "the pkg-config flags do not build a host"
run "$work/host" || fail "a host built with pkg-config cannot create the control"

echo "== Python client from the staged dist-packages"
module=$(run env PYTHONPATH="$staged/$pydir" /usr/bin/python3 -s -c \
  "import qelaudio; print(qelaudio.__file__)")
[[ $module == "$staged/$pydir"/* ]] || fail "imported qelaudio from $module"
run env PYTHONPATH="$staged/$pydir" PYTHONDONTWRITEBYTECODE=1 LD_DEBUG=files \
  LD_DEBUG_OUTPUT="$work/ld" /usr/bin/python3 -s examples/python/edit.py \
  "$work/in.wav" "$work/out-py.wav" >"$work/py-run.log" ||
  { cat "$work/py-run.log"; fail "examples/python/edit.py failed"; }
grep -q "^  [0-9]* %$" "$work/py-run.log" || fail "edit.py printed no progress"
check_loaded edit.py
check_wav "$work/out-py.wav"
cmp -s "$work/out-cpp.wav" "$work/out-py.wav" || fail "the C++ and Python examples wrote different files"

echo "== mypy: the Python example against the installed stub"
mypy() {
  run env PYTHONPATH="$staged/$pydir" /usr/bin/python3 -m mypy --strict --no-error-summary \
    --cache-dir "$work/mypy-cache" "$@"
}
mypy "$root/examples/python/edit.py" || fail "mypy rejects examples/python/edit.py"
cat >"$work/wrong.py" <<'EOF'
import qelaudio

control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
control.Transform.Amplify("loud")
control.Status = 3
EOF
if mypy "$work/wrong.py" >"$work/wrong.log"; then fail "mypy accepts wrong calls: the stub is not read"; fi
[ "$(grep -c 'error:' "$work/wrong.log")" = 2 ] || { cat "$work/wrong.log"; fail "mypy: unexpected report"; }

if [ "$check_deb" = 1 ]; then
  echo "== Debian package"
  rm -f build/qelaudioeditor_*.deb
  bash scripts/package.sh
  deb=$(ls build/qelaudioeditor_*.deb)
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/deb-files"
  for pattern in '/libqelaudioeditor\.so\.4$' '/libqelcom\.so\.4$' '/include/qelaudio/core/surface\.h$' \
    '/qel-components/libqelmedia\.so$' '/qel-components/libqeleffects\.so$' '^\./usr/bin/qel-regsvr$' \
    '^\./usr/lib/python3/dist-packages/qelaudio\.cpython-.*\.so$' \
    '^\./usr/lib/python3/dist-packages/qelaudio\.pyi$' \
    '^\./usr/lib/python3/dist-packages/qelaudio-stubs/__init__\.pyi$' \
    '/cmake/QelAudioEditor/QelAudioEditorConfig\.cmake$' '/pkgconfig/qelaudioeditor\.pc$' \
    '^\./usr/share/doc/qelaudioeditor/LICENSE$'; do
    grep -q "$pattern" "$work/deb-files" || fail "$deb lacks $pattern"
  done
  dpkg-deb --info "$deb"
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libstdc++6 libavformat libcairo2 libfftw3 python3-numpy; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library"
  done
fi
echo "check-install: all good"
