#!/usr/bin/env bash
# Times tolvane and marisk on large inputs against the floor of reading the input
# (wc -l) and against the pipelines a user would otherwise pick, checks that every
# output is right, and measures peak memory. Usage: bench/run.sh [runs] (default 10).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
peer_runs=3
source "$root/scripts/packages.sh"
ensure_packages cmake make g++ hyperfine xxd srecord binutils time

cmake -S "$root" -B "$root/build/tools" -DCMAKE_BUILD_TYPE=Release -DVH_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build/tools" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tolvane="$root/build/tools/tolvane"
marisk="$root/build/tools/marisk"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "CHECK FAILED: $*" >&2; exit 1; }

# Inputs: 16 Mi random bytes as a byte list (two digits and CR LF a line, 64 MiB), its
# 32-bit image (about 71 MiB), and both 16 times smaller for the memory comparison.
echo "Generating inputs in $work ..."
head -c $((16 << 20)) /dev/urandom >bytes.bin
head -c $((1 << 20)) bytes.bin >small.bin
for name in bytes small; do
  xxd -p -c1 "$name.bin" | sed 's/$/\r/' >"$name.txt"
  "$tolvane" -d32 "$name.txt" >/dev/null
done
mv bytes.vh img_0x100.vh
mv small.vh small_0x100.vh

# The image's data digits must give back the bytes, and its addresses count 0, 1, 2, ...
data_sum() { cut -f2 "$@" | tr -d '\r\n' | xxd -r -p | sha256sum | cut -d' ' -f1; }
[ "$(data_sum img_0x100.vh)" = "$(sha256sum <bytes.bin | cut -d' ' -f1)" ] ||
  fail "tolvane's image does not hold the bytes"
awk -F'\t' '{ if ($1 != sprintf("@%X", NR - 1)) { exit 1 } }' img_0x100.vh ||
  fail "tolvane's addresses are not 0, 1, 2, ..."
# The four banks, put back together leftmost first, must give the image's data.
"$marisk" img_0x100.vh >/dev/null
paste img_0x400_3.vh img_0x400_2.vh img_0x400_1.vh img_0x400_0.vh | tr -d '\r' |
  awk -F'\t' '{ if ($1 != $3 || $1 != $5 || $1 != $7) { exit 1 } print $1 "\t" $2 $4 $6 $8 }' \
    >rebuilt.vh || fail "marisk's banks disagree on the addresses"
[ "$(tr -d '\r' <img_0x100.vh | sha256sum)" = "$(sha256sum <rebuilt.vh)" ] ||
  fail "marisk's banks do not put the image back together"
rm -f rebuilt.vh img_0x400_*.vh

# Each timed run starts without the previous run's outputs, so that no run pays for
# the page cache writing back and truncating the last one's files.
median() {  # name runs outputs-to-remove command
  local name=$1 count=$2 outputs=$3 command=$4 shell=()
  [[ $command == *[\;\&\$]* ]] || shell=(-N)
  hyperfine "${shell[@]}" --style none --warmup 1 --runs "$count" --export-csv "$name.csv" \
    --prepare "rm -f $outputs" -n "$name" "$command" >/dev/null 2>&1
  awk -F, 'NR == 2 { print $4 }' "$name.csv"
}

echo "Timing (warm cache, medians of $runs runs, $peer_runs for the other pipelines) ..."
banks="img_0x400_0.vh img_0x400_1.vh img_0x400_2.vh img_0x400_3.vh"
t_wc=$(median wc "$runs" "" "wc -l bytes.txt")
t_tolvane=$(median tolvane "$runs" bytes.vh "$tolvane -d32 bytes.txt")
t_srec=$(median srec "$peer_runs" "p1.bin p1.vmem" \
  "xxd -r -p bytes.txt p1.bin && srec_cat p1.bin -binary -o p1.vmem -VMem 32")
t_objcopy=$(median objcopy "$peer_runs" "p2.bin p2.v" \
  "xxd -r -p bytes.txt p2.bin && objcopy -I binary -O verilog --verilog-data-width=4 p2.bin p2.v")
t_wc4=$(median wc4 "$runs" "" \
  "wc -l img_0x100.vh; wc -l img_0x100.vh; wc -l img_0x100.vh; wc -l img_0x100.vh")
t_marisk=$(median marisk "$runs" "$banks" "$marisk img_0x100.vh")
t_split=$(median split "$peer_runs" "s0.vmem s1.vmem s2.vmem s3.vmem" \
  "for n in 0 1 2 3; do srec_cat img_0x100.vh -VMem -split 4 \$n 1 -o s\$n.vmem -VMem 8; done")

# The timed runs wrote the same outputs again: check them once more.
[ "$(data_sum bytes.vh)" = "$(sha256sum <bytes.bin | cut -d' ' -f1)" ] ||
  fail "tolvane's timed output differs"
[ "$(cut -f2 img_0x400_0.vh | tr -d '\r' | sha256sum)" = \
  "$(cut -f2 img_0x100.vh | tr -d '\r' | cut -c7-8 | sha256sum)" ] ||
  fail "marisk's timed output differs"

peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
m_tolvane=$(peak_kib "$tolvane" -d32 bytes.txt)
m_tolvane_small=$(peak_kib "$tolvane" -d32 small.txt)
m_marisk=$(peak_kib "$marisk" img_0x100.vh)
m_marisk_small=$(peak_kib "$marisk" small_0x100.vh)

awk -v wc="$t_wc" -v tv="$t_tolvane" -v srec="$t_srec" -v objcopy="$t_objcopy" \
  -v wc4="$t_wc4" -v mk="$t_marisk" -v sp="$t_split" \
  -v mt="$m_tolvane" -v mts="$m_tolvane_small" -v mm="$m_marisk" -v mms="$m_marisk_small" '
function verdict(ok) { return ok ? "met" : "MISSED" }
BEGIN {
  printf "\n%-44s %10s  %s\n", "job", "median s", "ratio"
  printf "%-44s %10.3f  %s\n", "wc -l on the byte list (floor)", wc, "1"
  printf "%-44s %10.3f  %.1f x floor (target <= 8: %s)\n", "tolvane -d32 on the byte list", tv, tv / wc, verdict(tv / wc <= 8)
  printf "%-44s %10.3f  tolvane %.1f x faster (target >= 10: %s)\n", "xxd -r -p + srec_cat -VMem 32", srec, srec / tv, verdict(srec / tv >= 10)
  printf "%-44s %10.3f  tolvane %.1f x faster\n", "xxd -r -p + objcopy -O verilog", objcopy, objcopy / tv
  printf "%-44s %10.3f  %s\n", "4 x wc -l on the image (floor)", wc4, "1"
  printf "%-44s %10.3f  %.1f x floor (target <= 8: %s)\n", "marisk on the image (4 banks)", mk, mk / wc4, verdict(mk / wc4 <= 8)
  printf "%-44s %10.3f  marisk %.1f x faster (target >= 15: %s)\n", "4 x srec_cat -split", sp, sp / mk, verdict(sp / mk >= 15)
  printf "\n%-44s %10s %10s\n", "peak resident memory (MiB)", "full", "1/16"
  printf "%-44s %10.1f %10.1f  (target < 8 and within 1: %s)\n", "tolvane", mt / 1024, mts / 1024, verdict(mt < 8192 && mt - mts < 1024 && mts - mt < 1024)
  printf "%-44s %10.1f %10.1f  (target < 8 and within 1: %s)\n", "marisk", mm / 1024, mms / 1024, verdict(mm < 8192 && mm - mms < 1024 && mms - mm < 1024)
}'
echo
echo "All outputs checked: the image holds the bytes, the banks put it back together."
