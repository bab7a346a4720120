#!/usr/bin/env bash
# Times tolvane and marisk against the machine's own floors measured in the same run
# (wc -l reading the same input, cp copying it) and against the usual pipelines, checks
# every output it times, and measures peak memory. The jobs take turns, round after
# round, and each timed run starts without the previous run's outputs and with nothing
# left to write back; medians are printed.
# Usage: bench/run.sh [--skip-large | --goals] [runs]   (default 10 runs; --skip-large
# leaves out the 1 GiB inputs, --goals times only the goals, the last table)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
large=1
goals_only=0
if [ "${1:-}" = --skip-large ]; then
  large=0
  shift
elif [ "${1:-}" = --goals ]; then
  large=0
  goals_only=1
  shift
fi
runs=${1:-10}
peer_runs=3
source "$root/scripts/packages.sh"
ensure_packages cmake make g++ xxd srecord binutils time valgrind python3

# The tools as shipped, and built with the portable paths alone, to weigh each x86 fast
# path's code against what it gains.
(cd "$root" && for variant in tools:ON tools-portable:OFF; do
  cmake --preset tools -B "build/${variant%:*}" -DVH_FAST_PATHS="${variant#*:}" >/dev/null
  cmake --build "build/${variant%:*}" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
done)
tolvane="$root/build/tools/tolvane"
marisk="$root/build/tools/marisk"
portable_tolvane="$root/build/tools-portable/tolvane"
portable_marisk="$root/build/tools-portable/marisk"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "CHECK FAILED: $*" >&2; exit 1; }
sha() { sha256sum | cut -d' ' -f1; }

# Inputs: 16 Mi random bytes as a byte list (two digits and CR LF a line, 64 MiB), its
# 32-bit image (about 71 MiB), the same bytes as 256-bit words (for 32 banks), and
# inputs 16 and 256 times smaller for the memory comparison.
echo "Generating inputs in $work ..."
head -c $((16 << 20)) /dev/urandom >bytes.bin
head -c $((1 << 20)) bytes.bin >small.bin
head -c $((1 << 16)) bytes.bin >tiny.bin
for name in bytes small tiny; do
  xxd -p -c1 "$name.bin" | sed 's/$/\r/' >"$name.txt"
  "$tolvane" -d32 "$name.txt" >/dev/null
done
mv bytes.vh img_0x100.vh
mv small.vh small_0x100.vh
mv tiny.vh tiny_0x100.vh
awk -F'\t' '{ sub(/\r$/, "", $2); w = w $2 }
  NR % 8 == 0 { printf "@%X\t%s\r\n", NR / 8 - 1, w; w = "" }' img_0x100.vh >wide_0x100.vh
# The same bytes as a memory a kilobit wide (lines of 256 digits, for 16 banks of 64
# bits), and one word line of 64 MiB digits without a line end.
awk -F'\t' '{ sub(/\r$/, "", $2); w = w $2 }
  NR % 32 == 0 { printf "@%X\t%s\r\n", NR / 32 - 1, w; w = "" }' img_0x100.vh >kilo_0x100.vh
{ printf '@0\t'; cat bytes.bin bytes.bin | xxd -p | tr -d '\n'; } >long_0x1.vh
# The same words as objcopy writes a memory file: an address alone, then four words a
# line separated by spaces (about 38 MiB).
objcopy -I binary -O verilog --verilog-data-width=4 bytes.bin mem_0x100.vh

# The checks: an image's data digits give back the bytes and its addresses count 0, 1,
# 2, ...; banks put back together leftmost first give the image's lines.
data_sum() { cut -f2 "$@" | tr -d '\r\n' | xxd -r -p | sha; }
check_image() {  # image bytes
  [ "$(data_sum "$1")" = "$(sha <"$2")" ] || fail "$1 does not hold the bytes of $2"
  awk -F'\t' '{ if ($1 != sprintf("@%X", NR - 1)) { exit 1 } }' "$1" ||
    fail "the addresses of $1 are not 0, 1, 2, ..."
}
check_banks() {  # image base count: the banks base_<count-1> ... base_0, big-endian
  local files=() bank
  for ((bank = $3 - 1; bank >= 0; bank--)); do files+=("$2_$bank.vh"); done
  paste "${files[@]}" | tr -d '\r' | awk -F'\t' -v n="$3" '{
      line = $1 "\t"
      for (i = 1; i <= n; i++) { if ($(2 * i - 1) != $1) { exit 1 } line = line $(2 * i) }
      print line }' | sha >rebuilt.sha || fail "the banks of $1 disagree on the addresses"
  [ "$(tr -d '\r' <"$1" | sha)" = "$(cat rebuilt.sha)" ] ||
    fail "the $3 banks of $1 do not put it back together"
}
check_image img_0x100.vh bytes.bin
"$marisk" img_0x100.vh >/dev/null
check_banks img_0x100.vh img_0x400 4
"$marisk" mem_0x100.vh >/dev/null
for bank in 0 1 2 3; do
  cmp -s "mem_0x400_$bank.vh" "img_0x400_$bank.vh" ||
    fail "the banks of objcopy's memory file differ from those of the image"
done
"$marisk" -d256 wide_0x100.vh >/dev/null
check_banks wide_0x100.vh wide_0x2000 32
[ "$(data_sum wide_0x100.vh)" = "$(sha <bytes.bin)" ] || fail "the 256-bit image lost bytes"
"$marisk" -d1024 -s64 kilo_0x100.vh >/dev/null
check_banks kilo_0x100.vh kilo_0x1000 16
# The binary input gives the byte list's image.
"$tolvane" -d32 -b bytes.bin >/dev/null
check_image bytes.vh bytes.bin
# The same bytes as Intel HEX: objcopy's 16-byte records, 32-byte records, and the
# 16-byte ones at 0x8000_0000 after a record at 0 (a 2 GiB gap, for the memory row).
objcopy -I binary -O ihex bytes.bin bytes16.hex
xxd -p -c32 bytes.bin | awk '
  function digit(s, i) { return index("0123456789abcdef", substr(s, i, 1)) - 1 }
  { address = (NR - 1) * 32
    if (address % 65536 == 0 && address > 0) {
      high = int(address / 65536)
      printf ":02000004%04X%02X\r\n", high, (256 - (6 + int(high / 256) + high % 256) % 256) % 256
    }
    low = address % 65536; n = length($0) / 2; sum = n + int(low / 256) + low % 256
    for (i = 1; i < 2 * n; i += 2) sum += 16 * digit($0, i) + digit($0, i + 1)
    printf ":%02X%04X00%s%02X\r\n", n, low, toupper($0), (256 - sum % 256) % 256 }
  END { print ":00000001FF\r" }' >bytes32.hex
{ printf ':0400000012345678E8\r\n'
  objcopy -I binary -O ihex --change-addresses=0x80000000 bytes.bin /dev/stdout; } >gap.hex
for records in 16 32; do
  "$tolvane" -d32 -x "bytes$records.hex" >/dev/null
  check_image "bytes$records.vh" bytes.bin
  rm "bytes$records.vh"
done
"$tolvane" -d1024 -b bytes.bin >/dev/null
[ "$(data_sum bytes.vh)" = "$(sha <bytes.bin)" ] || fail "the 1024-bit image lost bytes"
rm bytes.vh
# Every bank of the long line holds its 16 digits of the line's first 256.
"$marisk" -d1024 -s64 long_0x1.vh >/dev/null
[ "$(for ((bank = 15; bank >= 0; bank--)); do cut -f2 "long_0x10_$bank.vh"; done | tr -d '\r\n')" = \
  "$(head -c 128 bytes.bin | xxd -p | tr -d '\n')" ] || fail "the banks of the long line are wrong"

banks4="img_0x400_0.vh img_0x400_1.vh img_0x400_2.vh img_0x400_3.vh"
banks32=$(echo wide_0x2000_{0..31}.vh)
banks16=$(echo kilo_0x1000_{0..15}.vh)
banks_long=$(echo long_0x10_{0..15}.vh)
banks_items=$(echo mem_0x400_{0..3}.vh)
rm -f $banks4 $banks32 $banks16 $banks_long $banks_items

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

# Every job against the floors, the usual pipelines and the fast paths, and the peaks;
# left out with --goals.
floors_and_peers() {
# jobs: name, outputs removed before each run ("-" keeps them: a run over old
# outputs), command.
jobs=(
  "wc||wc -l bytes.txt"
  "cp|copy.txt|cp bytes.txt copy.txt"
  "tolvane|bytes.vh|$tolvane -d32 bytes.txt"
  "tolvane_binary|bytes.vh|$tolvane -d32 -b bytes.bin"
  "tolvane_over|-|$tolvane -d32 bytes.txt"
  "wc4||wc -l img_0x100.vh; wc -l img_0x100.vh; wc -l img_0x100.vh; wc -l img_0x100.vh"
  "marisk4|$banks4|$marisk img_0x100.vh"
  "marisk4_over|-|$marisk img_0x100.vh"
  "marisk4_items|$banks_items|$marisk mem_0x100.vh"
  "marisk32|$banks32|$marisk -d256 wide_0x100.vh"
  "marisk16|$banks16|$marisk -d1024 -s64 kilo_0x100.vh"
  "marisk_long|$banks_long|$marisk -d1024 -s64 long_0x1.vh"
  "tolvane_portable|bytes.vh|$portable_tolvane -d32 bytes.txt"
  "marisk4_portable|$banks4|$portable_marisk img_0x100.vh"
)
declare -A times
time_job() {  # name outputs command: one run, seconds appended to times[name]
  local name=$1 outputs=$2 command=$3
  [ "$outputs" = - ] || rm -f $outputs
  sync
  local start=$EPOCHREALTIME
  eval "$command" >/dev/null
  local end=$EPOCHREALTIME
  times[$name]+=" $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }')"
}

echo "Timing (warm cache, $runs rounds, jobs taking turns) ..."
for job in "${jobs[@]}"; do  # one untimed round, so that every input is cached
  IFS='|' read -r name outputs command <<<"$job"
  eval "$command" >/dev/null
done
for ((round = 0; round < runs; round++)); do
  for job in "${jobs[@]}"; do
    IFS='|' read -r name outputs command <<<"$job"
    time_job "$name" "$outputs" "$command"
  done
done
declare -A m
for job in "${jobs[@]}"; do
  IFS='|' read -r name outputs command <<<"$job"
  m[$name]=$(echo "${times[$name]}" | median)
done

# The timed runs wrote their outputs again: check them once more.
check_image bytes.vh bytes.bin
check_banks img_0x100.vh img_0x400 4
check_banks wide_0x100.vh wide_0x2000 32
check_banks kilo_0x100.vh kilo_0x1000 16
bytes_written4=$(cat $banks4 | wc -c)
bytes_written32=$(cat $banks32 | wc -c)
bytes_written16=$(cat $banks16 | wc -c)
for bank in 0 1 2 3; do
  cmp -s "mem_0x400_$bank.vh" "img_0x400_$bank.vh" ||
    fail "the banks of objcopy's memory file differ from those of the image"
done
rm -f copy.txt $banks32 $banks16 $banks_long $banks_items

# Instructions, counted by valgrind (processors in virtual machines often hide their
# counters from perf).
instructions() {  # command...: instructions executed in user space, in millions
  valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    awk '/I *refs:/ { gsub(",", "", $NF); printf "%.0f", $NF / 1e6 }'
}
echo "Counting instructions with the fast paths on and off ..."
ins_tolvane=$(instructions "$tolvane" -d32 bytes.txt)
ins_tolvane_portable=$(instructions "$portable_tolvane" -d32 bytes.txt)
ins_marisk=$(instructions "$marisk" img_0x100.vh)
ins_marisk_portable=$(instructions "$portable_marisk" img_0x100.vh)
check_image bytes.vh bytes.bin
check_banks img_0x100.vh img_0x400 4

echo "Timing the usual pipelines ($peer_runs runs each) ..."
for ((round = 0; round < peer_runs; round++)); do
  time_job srec "p1.bin p1.vmem" \
    "xxd -r -p bytes.txt p1.bin && srec_cat p1.bin -binary -o p1.vmem -VMem 32"
  time_job objcopy "p2.bin p2.v" \
    "xxd -r -p bytes.txt p2.bin && objcopy -I binary -O verilog --verilog-data-width=4 p2.bin p2.v"
  time_job split "s0.vmem s1.vmem s2.vmem s3.vmem" \
    "for n in 0 1 2 3; do srec_cat img_0x100.vh -VMem -split 4 \$n 1 -o s\$n.vmem -VMem 8; done"
done
for name in srec objcopy split; do m[$name]=$(echo "${times[$name]}" | median); done
rm -f p1.bin p1.vmem p2.bin p2.v s?.vmem

echo "Timing 1000 runs of each tool on the examples ..."
mkdir examples
cp "$root"/examples/* examples/
small_runs() {  # command...: seconds for 1000 runs
  local start=$EPOCHREALTIME
  for ((i = 0; i < 1000; i++)); do (cd examples && "$@" >/dev/null); done
  local end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
m[small_tolvane]=$(small_runs "$tolvane" -d32 rom.txt)
m[small_marisk]=$(small_runs "$marisk" img_0x100.vh)

rm -f $banks4
mem_tolvane=$(peak_kib "$tolvane" -d32 bytes.txt)
mem_tolvane_small=$(peak_kib "$tolvane" -d32 small.txt)
mem_marisk=$(peak_kib "$marisk" img_0x100.vh)
mem_marisk_small=$(peak_kib "$marisk" small_0x100.vh)
mem_marisk127=$(peak_kib "$marisk" -d1016 small_0x100.vh)
mem_marisk127_tiny=$(peak_kib "$marisk" -d1016 tiny_0x100.vh)
rm -f bytes.vh
mem_tolvane_binary=$(peak_kib "$tolvane" -d32 -b bytes.bin)
mem_marisk_long=$(peak_kib "$marisk" -d1024 -s64 long_0x1.vh)
mem_marisk_items=$(peak_kib "$marisk" mem_0x100.vh)
rm -f small_0x7f00_*.vh tiny_0x7f00_*.vh bytes.vh $banks4 $banks_long $banks_items

if [ "$large" = 1 ]; then
  echo "Timing the 1 GiB byte list and its image ($runs runs each) ..."
  for ((i = 0; i < 16; i++)); do cat bytes.txt; done >big.txt
  for ((i = 0; i < 16; i++)); do cat bytes.bin; done >big.bin
  "$tolvane" -d32 big.txt >/dev/null
  mv big.vh big_0x100.vh
  # Wall and user time: past a few hundred MiB of output the kernel writes the dirty
  # pages back while the run goes on, which the smaller runs never meet.
  cpu_job() {  # name outputs command...: wall and user seconds appended
    local name=$1 outputs=$2
    shift 2
    rm -f $outputs
    sync
    /usr/bin/time -f "%e %U" -o cpu.txt "$@" >/dev/null
    local wall user
    read -r wall user <cpu.txt
    times[$name]+=" $wall"
    times[${name}_user]+=" $user"
  }
  big_banks="big_0x400_0.vh big_0x400_1.vh big_0x400_2.vh big_0x400_3.vh"
  for ((round = 0; round <= runs; round++)); do  # the first round is not counted
    [ "$round" = 1 ] && unset 'times[big_tolvane]' 'times[big_tolvane_user]' \
      'times[big_marisk4]' 'times[big_marisk4_user]' 'times[tolvane_cpu]' \
      'times[tolvane_cpu_user]' 'times[marisk4_cpu]' 'times[marisk4_cpu_user]'
    cpu_job big_tolvane big.vh "$tolvane" -d32 big.txt
    cpu_job big_marisk4 "$big_banks" "$marisk" big_0x100.vh
    cpu_job tolvane_cpu bytes.vh "$tolvane" -d32 bytes.txt
    cpu_job marisk4_cpu "$banks4" "$marisk" img_0x100.vh
  done
  for name in big_tolvane big_marisk4 tolvane_cpu marisk4_cpu; do
    m[$name]=$(echo "${times[$name]}" | median)
    m[${name}_user]=$(echo "${times[${name}_user]}" | median)
  done
  check_image big.vh big.bin
  check_banks big_0x100.vh big_0x400 4
  big_bytes=$(stat -c %s big.txt)
  big_image_bytes=$(stat -c %s big_0x100.vh)
  rm -f big.vh big_0x400_*.vh bytes.vh $banks4
  mem_big_tolvane=$(peak_kib "$tolvane" -d32 big.txt)
  mem_big_marisk=$(peak_kib "$marisk" big_0x100.vh)
  rm -f big.vh big_0x400_*.vh
  mem_marisk127_full=$(peak_kib "$marisk" -d1016 img_0x100.vh)
  rm -f img_0x7f00_*.vh big.txt big.bin big_0x100.vh
fi

awk -v large="$large" \
  -v wc="${m[wc]}" -v cp="${m[cp]}" -v tv="${m[tolvane]}" -v tvo="${m[tolvane_over]}" \
  -v wc4="${m[wc4]}" -v mk4="${m[marisk4]}" -v mk4o="${m[marisk4_over]}" -v mk32="${m[marisk32]}" \
  -v mk4i="${m[marisk4_items]}" -v mmi="$mem_marisk_items" \
  -v w4="$bytes_written4" -v w32="$bytes_written32" -v w16="$bytes_written16" \
  -v tvb="${m[tolvane_binary]}" -v mk16="${m[marisk16]}" -v mkl="${m[marisk_long]}" \
  -v mtb="$mem_tolvane_binary" -v mml="$mem_marisk_long" \
  -v srec="${m[srec]}" -v objcopy="${m[objcopy]}" -v spl="${m[split]}" \
  -v st="${m[small_tolvane]}" -v sm="${m[small_marisk]}" \
  -v tvp="${m[tolvane_portable]}" -v mk4p="${m[marisk4_portable]}" \
  -v it="$ins_tolvane" -v itp="$ins_tolvane_portable" -v im="$ins_marisk" \
  -v imp="$ins_marisk_portable" \
  -v in_bytes="$(stat -c %s bytes.txt)" -v img_bytes="$(stat -c %s img_0x100.vh)" \
  -v btv="${m[big_tolvane]:-0}" -v bmk="${m[big_marisk4]:-0}" \
  -v btvu="${m[big_tolvane_user]:-0}" -v bmku="${m[big_marisk4_user]:-0}" \
  -v tvu="${m[tolvane_cpu_user]:-1}" -v mk4u="${m[marisk4_cpu_user]:-1}" \
  -v big_bytes="${big_bytes:-1}" -v big_img="${big_image_bytes:-1}" \
  -v mt="$mem_tolvane" -v mts="$mem_tolvane_small" -v mm="$mem_marisk" -v mms="$mem_marisk_small" \
  -v m127="$mem_marisk127" -v m127t="$mem_marisk127_tiny" \
  -v mbt="${mem_big_tolvane:-0}" -v mbm="${mem_big_marisk:-0}" -v m127f="${mem_marisk127_full:-0}" '
function row(job, s, ratio) { printf "%-46s %9.3f  %s\n", job, s, ratio }
BEGIN {
  printf "\n%-46s %9s  %s\n", "job (64 MiB byte list, its 71 MiB image)", "median s", "ratio"
  row("wc -l on the byte list (floor)", wc, "1")
  row("cp of the byte list (floor)", cp, "1")
  row("tolvane -d32 on the byte list", tv, sprintf("%.1f x wc -l, %.1f x cp", tv / wc, tv / cp))
  row("  the same over its last output", tvo, sprintf("+%.3f s", tvo - tv))
  row("tolvane -d32 -b on the same 16 MiB binary", tvb, sprintf("%.2f x the byte-list time", tvb / tv))
  row("xxd -r -p + srec_cat -VMem 32", srec, sprintf("tolvane %.1f x faster", srec / tv))
  row("xxd -r -p + objcopy -O verilog", objcopy, sprintf("tolvane %.1f x faster", objcopy / tv))
  row("4 x wc -l on the image (floor)", wc4, "1")
  row("marisk, 4 byte banks, one pass", mk4, sprintf("%.1f x 4 wc -l", mk4 / wc4))
  row("  the same over its last banks", mk4o, sprintf("+%.3f s", mk4o - mk4))
  row("  the same words as objcopy writes them", mk4i, sprintf("%.2f x the word-line time", mk4i / mk4))
  row("marisk -d256, 32 byte banks", mk32,
      sprintf("%.2f x the 4-bank time per byte written", (mk32 / w32) / (mk4 / w4)))
  row("marisk -d1024 -s64, 16 banks of 64 bits", mk16,
      sprintf("%.2f x the 4-bank time per byte written", (mk16 / w16) / (mk4 / w4)))
  row("marisk -d1024 -s64 on one 64 MiB line", mkl, sprintf("%.2f x 4 wc -l", mkl / wc4))
  row("4 x srec_cat -split", spl, sprintf("marisk %.1f x faster", spl / mk4))
  row("1000 runs of tolvane -d32 on examples/", st, sprintf("%.2f ms a run", st))
  row("1000 runs of marisk on examples/", sm, sprintf("%.2f ms a run", sm))
  printf "\n%-46s %9s %9s  %s\n", "x86 fast paths (64 MiB inputs)", "median s", "M instr", "on / off"
  printf "%-46s %9.3f %9d\n", "tolvane -d32, fast paths on", tv, it
  printf "%-46s %9.3f %9d  %.2f x the time, %.2f x the instructions\n", "  fast paths off", tvp, itp,
         tv / tvp, it / itp
  printf "%-46s %9.3f %9d\n", "marisk, 4 banks, fast paths on", mk4, im
  printf "%-46s %9.3f %9d  %.2f x the time, %.2f x the instructions\n", "  fast paths off", mk4p, imp,
         mk4 / mk4p, im / imp
  if (large == 1) {
    printf "\n%-46s %9s  %s\n", "job (1 GiB byte list, its 1.1 GiB image)", "median s", "ratio"
    row("tolvane -d32", btv, sprintf("%.2f x the 64 MiB time per input byte",
        (btv / big_bytes) / (tv / in_bytes)))
    row("  its user time", btvu, sprintf("%.2f x the 64 MiB user time per input byte",
        (btvu / big_bytes) / (tvu / in_bytes)))
    row("marisk, 4 byte banks", bmk, sprintf("%.2f x the 64 MiB time per input byte",
        (bmk / big_img) / (mk4 / img_bytes)))
    row("  its user time", bmku, sprintf("%.2f x the 64 MiB user time per input byte",
        (bmku / big_img) / (mk4u / img_bytes)))
  }
  printf "\n%-46s %9s %9s %9s\n", "peak resident memory (MiB)", "1/256", "1/16", "full"
  printf "%-46s %9s %9.1f %9.1f\n", "tolvane", "", mts / 1024, mt / 1024
  printf "%-46s %9s %9s %9.1f\n", "tolvane -b", "", "", mtb / 1024
  printf "%-46s %9s %9s %9.1f\n", "marisk -d1024 -s64 on one 64 MiB line", "", "", mml / 1024
  printf "%-46s %9s %9.1f %9.1f\n", "marisk, 4 banks", "", mms / 1024, mm / 1024
  printf "%-46s %9s %9s %9.1f\n", "marisk, 4 banks, the words as objcopy writes", "", "", mmi / 1024
  printf "%-46s %9.1f %9.1f %9s\n", "marisk -d1016, 127 banks", m127t / 1024, m127 / 1024,
         large == 1 ? sprintf("%.1f", m127f / 1024) : ""
  if (large == 1) {
    printf "%-46s %9.1f\n", "tolvane on the 1 GiB byte list", mbt / 1024
    printf "%-46s %9.1f\n", "marisk on its image, 4 banks", mbm / 1024
  }
}'

}
[ "$goals_only" = 1 ] || floors_and_peers

# The goals: CPU time (user and system, medians of interleaved rounds, each run without
# the outputs of the one before and with nothing left to write back) of every job on the same 16 MiB at 32-bit words, and
# marisk's 4 banks of its image, each as a ratio to the job it is weighed against, with
# the peak memory of each job. First the inputs of the addressed kinds and their checks.
# In microseconds, which /usr/bin/time rounds to hundredths.
cpu_of() {
  python3 -c 'import os, sys
pid = os.fork()
if pid == 0:
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 1)
    os.dup2(null, 2)
    os.execvp(sys.argv[1], sys.argv[1:])
usage = os.wait4(pid, 0)[2]
print("%.6f" % (usage.ru_utime + usage.ru_stime))' "$@"
}
depth=$(((16 << 20) / 4))
elf_of() {  # physical addresses...: a 64-bit ELF file whose segments all hold bytes.bin
  perl -e 'my @a = @ARGV; my $n = @a; my $data = 64 + 56 * $n;
    print pack("a4CCCCx8vvVQ<Q<Q<Vvvvvvv", "\x7FELF", 2, 1, 1, 0, 2, 0x3E, 1, 0, 64, 0, 0,
               64, 56, $n, 0, 0, 0);
    print pack("VVQ<Q<Q<Q<Q<Q<", 1, 5, $data, $_, $_, 16 << 20, 16 << 20, 1) for @a;' "$@"
  cat bytes.bin
}
elf_of 0 >bytes.elf
elf_of 0 2147483648 >gap.elf
objcopy -I binary -O srec --srec-len=32 bytes.bin bytes32.srec
head -c $((8 << 20)) bytes.bin >low.bin
tail -c $((8 << 20)) bytes.bin >high.bin
objcopy -I binary -O ihex low.bin low.hex
objcopy -I binary -O ihex --change-addresses=0x800000 high.bin high.hex
objcopy -I binary -O ihex --change-addresses=0x80000000 high.bin far.hex
for job in "-e bytes.elf" "-s bytes32.srec" "-x low.hex high.hex"; do
  rm -f kind.vh
  $tolvane -d32 $job -okind.vh >/dev/null
  check_image kind.vh bytes.bin
done
# The mem image's lines are the VerilogHex image's data, and so are bank 3's in mif; the
# rows of each bank hold its words.
"$tolvane" -d32 -b -fmem -oout.img bytes.bin >/dev/null
"$tolvane" -d32 -b bytes.bin >/dev/null
[ "$(tr -d '\r' <out.img | sha)" = "$(cut -f2 bytes.vh | tr -d '\r' | sha)" ] ||
  fail "the mem image does not hold the VerilogHex image's words"
"$marisk" -fmif -obank img_0x100.vh >/dev/null
"$marisk" img_0x100.vh >/dev/null
[ "$(tr -d '\r' <bank_3.mif | sed -n 's/^[0-9A-F]* : \(..\);$/\1/p' | sha)" = \
  "$(cut -f2 img_0x400_3.vh | tr -d '\r' | sha)" ] || fail "the mif bank 3 does not hold bank 3's words"
"$marisk" -n$depth -r$((depth / 8)) -orow img_0x100.vh >/dev/null
for bank in 0 1 2 3; do
  cat row_{0..7}_$bank.vh | awk -F'\t' '{ print $2 }' | sha >row.sha
  [ "$(cat row.sha)" = "$(cut -f2 "img_0x400_$bank.vh" | sha)" ] ||
    fail "the rows of bank $bank do not hold its words"
done
rm -f out.img bank_*.* bytes.vh row_*.vh row.sha kind.vh $banks4

# jobs: name, outputs removed before each run, the job it is weighed against, the goal
# ("<= R", or "keep R": within a tenth of the ratio measured before), command.
goal_jobs=(
  "cp|copy.txt|||cp bytes.txt copy.txt"
  "byte list, 64 MiB|bytes.vh|cp|keep 1.6|$tolvane -d32 bytes.txt"
  "-b|bytes.vh|byte list, 64 MiB|keep 0.87|$tolvane -d32 -b bytes.bin"
  "-x, 16-byte records|bytes16.vh|byte list, 64 MiB|<= 1.0|$tolvane -d32 -x bytes16.hex"
  "-x, 32-byte records|bytes32.vh|byte list, 64 MiB|<= 1.0|$tolvane -d32 -x bytes32.hex"
  "-s, 32-byte records|bytes32.vh|byte list, 64 MiB|<= 1.0|$tolvane -d32 -s bytes32.srec"
  "-x, two inputs of 8 MiB|two.vh|-x, 16-byte records|<= 1.1|$tolvane -d32 -x low.hex high.hex -otwo.vh"
  "-e|bytes.vh|-b|keep 0.99|$tolvane -d32 -e bytes.elf"
  "-f vh|out.img|||$tolvane -d32 -b -fvh -oout.img bytes.bin"
  "-f coe|out.img|-f vh|keep 1.0|$tolvane -d32 -b -fcoe -oout.img bytes.bin"
  "-f mem|out.img|-f vh|keep 1.0|$tolvane -d32 -b -fmem -oout.img bytes.bin"
  "-f mif -n|out.img|-f vh|<= 1.3|$tolvane -d32 -b -fmif -n$depth -oout.img bytes.bin"
  "-f mif|out.img|-f vh|<= 1.5|$tolvane -d32 -b -fmif -oout.img bytes.bin"
  "-f mi|out.img|-f vh|<= 1.5|$tolvane -d32 -b -fmi -oout.img bytes.bin"
  "-f hex|out.img|-f vh||$tolvane -d32 -b -fhex -oout.img bytes.bin"
  "marisk -f vh|bank_0.vh bank_1.vh bank_2.vh bank_3.vh|||$marisk -fvh -obank img_0x100.vh"
  "marisk -f coe|bank_0.coe bank_1.coe bank_2.coe bank_3.coe|marisk -f vh|<= 1.3|$marisk -fcoe -obank img_0x100.vh"
  "marisk -f mem|bank_0.mem bank_1.mem bank_2.mem bank_3.mem|marisk -f vh|<= 1.3|$marisk -fmem -obank img_0x100.vh"
  "marisk -f mif|bank_0.mif bank_1.mif bank_2.mif bank_3.mif|marisk -f vh|<= 1.3|$marisk -fmif -obank img_0x100.vh"
  "marisk -f mi|bank_0.mi bank_1.mi bank_2.mi bank_3.mi|marisk -f vh|<= 1.5|$marisk -fmi -obank img_0x100.vh"
  "marisk -n, one row|one_0.vh one_1.vh one_2.vh one_3.vh|||$marisk -n$depth -oone img_0x100.vh"
  "marisk -r, 8 rows x 4 banks|$(echo row_{0..7}_{0..3}.vh)|marisk -n, one row|keep 1.06|$marisk -n$depth -r$((depth / 8)) -orow img_0x100.vh"
)
declare -A gcpu gmem
echo "Timing the goals ($runs interleaved rounds) ..."
for ((round = 0; round < runs; round++)); do
  for job in "${goal_jobs[@]}"; do
    IFS='|' read -r name outputs base goal command <<<"$job"
    rm -f $outputs
    sync  # nothing left to write back from the run before
    gcpu[$name]+=" $(cpu_of $command)"
  done
done
for job in "${goal_jobs[@]}"; do
  IFS='|' read -r name outputs base goal command <<<"$job"
  gcpu[$name]=$(echo "${gcpu[$name]}" | median)
  rm -f $outputs
  gmem[$name]=$(peak_kib $command)
  rm -f $outputs
done
printf "\n%-32s %8s %8s %-26s %-9s %s\n" "goal job (16 MiB, 32-bit words)" "CPU s" "peak MiB" \
  "ratio" "goal" "met"
for job in "${goal_jobs[@]}"; do
  IFS='|' read -r name outputs base goal command <<<"$job"
  awk -v n="$name" -v c="${gcpu[$name]}" -v m="${gmem[$name]}" -v b="$base" \
    -v bc="${gcpu[${base:-none}]:-0}" -v g="$goal" 'BEGIN {
    ratio = ""; met = ""
    if (b != "") {
      r = c / (bc > 0 ? bc : 0.001)
      ratio = sprintf("%.2f x %s", r, b)
      split(g, part, " ")
      if (part[1] == "<=") met = r <= part[2] + 0.005 ? "yes" : "NO"
      if (part[1] == "keep") met = r <= part[2] * 1.1 + 0.005 ? "yes" : "NO"
    }
    printf "%-32s %8.3f %8.1f %-26s %-9s %s\n", n, c, m / 1024, substr(ratio, 1, 26), g, met
  }'
done
mem_gap=$(peak_kib "$tolvane" -d32 -x gap.hex)
mem_widest=$(peak_kib "$tolvane" -d4096 -b bytes.bin)
mem_elf_gap=$(peak_kib "$tolvane" -d32 -e gap.elf)
mem_two_far=$(peak_kib "$tolvane" -d32 -x low.hex far.hex -otwo.vh)
awk -v g="$mem_gap" -v w="$mem_widest" -v e="$mem_elf_gap" -v t="$mem_two_far" 'BEGIN {
  printf "%-46s %9.1f MiB\n", "peak: tolvane -x, 16 MiB after a 2 GiB gap", g / 1024
  printf "%-46s %9.1f MiB\n", "peak: tolvane -d4096 -b", w / 1024
  printf "%-46s %9.1f MiB\n", "peak: tolvane -e, two segments 2 GiB apart", e / 1024
  printf "%-46s %9.1f MiB\n", "peak: two Intel HEX inputs 2 GiB apart", t / 1024
}'
rm -f copy.txt bytes.vh bytes16.vh bytes32.vh two.vh gap.vh out.img bank_*.* row_*.vh one_*.vh \
  low.* high.* far.hex
echo
echo "All outputs checked: the images hold the bytes, the banks put them back together."
