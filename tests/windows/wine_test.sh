#!/usr/bin/env bash
# Runs the Windows Drawlet.auf under Wine, as unpacked from the zip users get, and compares
# it with the Linux one:
#   tests/windows/wine_test.sh LINUX_BUILD WINDOWS_BUILD
# 0. the zip holds the module, its pattern sets and the read-me, and nothing else;
# 1. objdump: one undecorated export, GetFilterTable, and only system DLLs imported;
# 2. the Wine test host's checks of the record and the callbacks, and of a module whose
#    pattern folder is missing;
# 3. the registration dump and every case's frame, byte for byte, against the Linux module;
# 4. the C runtimes' pow, sin and cos over the filter's arguments (reported, not failed).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$(realpath "$1")
windows=$(realpath "$2")
work=$windows/wine-test
rm -rf "$work"
mkdir -p "$work/missing"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$windows/wine-prefix
wine_run() { timeout 600 wine "$@"; }
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# The module and its pattern folder as a user unpacks them into the plug-in folder.
zip=$(ls "$windows"/Drawlet-*-windows.zip)
mkdir "$work/plugins"
(cd "$work/plugins" && cmake -E tar xf "$zip")
expected=$( (echo Drawlet-README.txt Drawlet.auf; for set in img img1 img2; do
  for i in 0 1 2 3 4 5 6; do echo "Drawlet/$set/h$i.bmp"; done; done) | tr ' ' '\n' | sort)
unpacked=$(cd "$work/plugins" && find . -type f | sed 's|^\./||' | sort)
[ "$unpacked" = "$expected" ] || fail "$(basename "$zip") holds: $unpacked"
head -c 3 "$work/plugins/Drawlet-README.txt" | cmp -s - <(printf '\xef\xbb\xbf') ||
  fail "the read-me has no UTF-8 byte-order mark"
grep -q $'の読み込みに失敗しました.*\r$' "$work/plugins/Drawlet-README.txt" ||
  fail "the read-me does not explain the message, or its lines do not end in CRLF"
echo "zip: $(basename "$zip") holds the module, $(grep -c bmp <<<"$unpacked") pattern files and the read-me"
module=$work/plugins/Drawlet.auf
objdump=i686-w64-mingw32-objdump
$objdump -p "$module" >"$work/objdump.txt"
grep -q 'Magic.*(PE32)' "$work/objdump.txt" || fail "Drawlet.auf is not a 32-bit PE"
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && /^$/ { exit }
  on { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }' "$work/objdump.txt")
[ "$exports" = "GetFilterTable" ] || fail "exports are not exactly GetFilterTable: $exports"
imports=$(awk '/DLL Name:/ { print toupper($3) }' "$work/objdump.txt" | sort -u | tr '\n' ' ')
for dll in $imports; do
  case $dll in
    KERNEL32.DLL | MSVCRT.DLL | SHLWAPI.DLL | USER32.DLL) ;;
    *) fail "Drawlet.auf imports $dll" ;;
  esac
done
echo "exports: $exports; imports: $imports"

echo "Windows test host (Wine):"
cp "$module" "$work/missing/"
wine_run "$windows/tests/drawlet_wine_host.exe" --missing \
  "$(winepath -w "$work/missing/Drawlet.auf")" 2>/dev/null | tr -d '\r' ||
  fail "the missing-pattern checks"

# OpenCV picks its vectorised code by processor; both modules' OpenCV builds dispatch the
# same variants, and the module's AVX2 row conversions follow OpenCV's dispatch. Compare
# once as the processor allows and once with OpenCV held to its SSE4 code, as on a
# processor without AVX2.
# compare LABEL [report]: with "report", differing frames are listed but do not fail.
compare() {
  local label=$1 out=$work/$1 strict=1
  [ "${2:-}" = "report" ] && strict=0
  mkdir -p "$out/linux" "$out/windows"
  wine_run "$windows/tests/drawlet_wine_host.exe" "$(winepath -w "$module")" \
    "$(winepath -w "$here/cases.txt")" "$(winepath -w "$out/windows")" | tr -d '\r' ||
    fail "the Windows test host ($label)"
  "$linux/tests/drawlet_reference_host" "$linux/Drawlet.auf" "$here/cases.txt" "$out/linux"
  cmp "$out/linux/registration.txt" "$out/windows/registration.txt" ||
    fail "the registration records differ"
  local cases=0 different=0 expected name
  for expected in "$out"/linux/*.yc; do
    name=$(basename "$expected")
    cases=$((cases + 1))
    if ! cmp -s "$expected" "$out/windows/$name"; then
      different=$((different + 1))
      local what="frame $name differs ($label): $(cmp -l "$expected" "$out/windows/$name" 2>&1 |
        wc -l) bytes"
      if [ "$strict" -eq 1 ]; then fail "$what"; else echo "  $what"; fi
    fi
  done
  echo "frames ($label): $((cases - different)) of $cases identical"
  [ "$cases" -gt 0 ] || fail "no frames compared"
}
if grep -qw avx512f /proc/cpuinfo; then
  # OpenCV 4.6 has no AVX-512 code for 32-bit x86, and Debian's uses it for a few
  # functions: the strict comparison holds the Linux side to AVX2, the native one is shown.
  OPENCV_CPU_DISABLE=AVX512_SKX compare avx2
  compare native report
else
  compare native
fi
OPENCV_CPU_DISABLE=AVX2,FMA3 compare sse4
# And held to the baseline of both builds (SSE2): every dispatched variant off, the
# module's own AVX2 row conversions with them.
OPENCV_CPU_DISABLE=SSE4_1,SSE4_2,POPCNT,AVX,FP16,AVX2,FMA3,AVX512_SKX compare baseline

# The C runtimes compared where the filter calls them.
"$linux/tests/drawlet_math_probe" >"$work/math-linux.txt"
wine_run "$windows/tests/drawlet_math_probe.exe" | tr -d '\r' >"$work/math-windows.txt"
echo "pow/sin/cos results that differ (Linux, Windows), of $(wc -l <"$work/math-linux.txt"):"
paste -d' ' "$work/math-linux.txt" "$work/math-windows.txt" | awk '
  { n = NF / 2; if ($n != $NF) { printf "  %s %s", $1, $2; if ($1 == "pow") printf " %s", $3;
    printf ": %s %s\n", $n, $NF; count++ } }
  END { printf "  %d differ\n", count }'

[ "$failed" -eq 0 ] && echo "Windows module: all checks passed"
exit "$failed"
