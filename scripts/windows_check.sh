#!/usr/bin/env bash
# Runs a representative set of command lines with the Windows programs under Wine and
# with the Linux programs, each in a folder of its own holding the same inputs, and
# checks that what they print, their exit statuses and every file they leave are byte
# for byte the same.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/packages.sh
ensure_packages cmake make g++ g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix googletest wine64 \
  groff-base unzip binutils
wine=/usr/lib/wine/wine64

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset tools >/dev/null
cmake --build --preset tools -j "$jobs" >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" >/dev/null

work=$(mktemp -d)
# Wine's server writes into its prefix until it ends: it is stopped and waited for
# before the folder goes, and the clean-up never decides the status.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=wineserver
clean_up() {
  WINEPREFIX="$work/wine" "$server" -k 2>/dev/null || true
  WINEPREFIX="$work/wine" "$server" -w 2>/dev/null || true
  rm -rf "$work" 2>/dev/null || { sleep 1 && rm -rf "$work"; } || echo "left behind: $work" >&2
}
trap 'status=$?; clean_up; exit $status' EXIT
# A UTF-8 locale, so that Wine hands names outside ASCII to the programs as written.
export WINEPREFIX="$work/wine" WINEDEBUG=-all LC_ALL=C.UTF-8
"$wine" wineboot -i >/dev/null 2>&1  # the first start sets up the prefix and talks about it

# A byte list large enough to fill many output buffers, in mixed case with CR LF.
awk 'BEGIN { for (i = 0; i < 400000; i++) printf "%02x\r\n", (i * 7919 + int(i / 256)) % 256 }' \
  >"$work/big.txt"
(cd "$work" && "$root/build/tools/tolvane" -d32 big.txt >/dev/null && mv big.vh big_0x10.vh)
# A memory a kilobit wide: its word lines hold 256 digits.
awk 'BEGIN { for (i = 0; i < 50; i++) { printf "@%X\t", i; for (j = 0; j < 128; j++) printf "%02X", (i * 31 + j) % 256; printf "\r\n" } }' \
  >"$work/kilo_0x10.vh"
# A helper that reads what Windows says of a file and holds a folder's lock.
helper="$work/windows_helper.exe"
x86_64-w64-mingw32-g++-posix -std=c++20 -O1 -static tests/windows/windows_helper.cpp -o "$helper" \
  -ladvapi32
failures=0
# Waits until the condition holds, at most a minute, so that a fault fails and never hangs.
wait_until() {  # condition
  local deadline=$((SECONDS + 60))
  until eval "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "timed out waiting for: $1"; return 1; }
    sleep 0.1
  done
}
check() {  # name program arguments...
  local name=$1 program=$2
  shift 2
  local side
  for side in linux windows; do
    local dir="$work/$name/$side"
    mkdir -p "$dir/files"
    cp examples/rom.txt examples/img_0x100.vh examples/fw_0x8000.hex examples/fw.elf "$work/big.txt" \
      "$work/big_0x10.vh" "$work/kilo_0x10.vh" "$dir/files/"
    (cd "$dir/files" && eval "${PREPARE:-}")
    local status=0
    if [ "$side" = linux ]; then
      (cd "$dir/files" && "$root/build/tools/$program" "$@") >"$dir/stdout" 2>"$dir/stderr" ||
        status=$?
    else
      local args=("$@")
      [ -n "${BACKSLASHES:-}" ] && args=("${args[@]//\//\\}")
      (cd "$dir/files" && "$wine" "$root/build/windows/$program.exe" "${args[@]}") \
        >"$dir/stdout" 2>"$dir/stderr" || status=$?
    fi
    echo "$status" >"$dir/status"
    # The cause after a file's name is the system's own words, which differ.
    sed -i -E 's/^((tolvane|marisk): .*): .*$/\1: (the system'"'"'s words)/' "$dir/stderr"
  done
  if diff -r --no-dereference "$work/$name/linux" "$work/$name/windows" >"$work/$name.diff"; then
    echo "same: $program $* (status $(cat "$work/$name/linux/status"), $(ls "$work/$name/linux/files" | wc -l) files)"
  else
    echo "DIFFERENT: $program $*"
    cat "$work/$name.diff"
    failures=$((failures + 1))
  fi
}

# The file-system contract's rows against the Windows file system (in Wine's
# temporary folder), each with its time limit.
if timeout 300 "$wine" build/windows/contract_tests.exe >"$work/contract.txt" 2>&1; then
  echo "same: the file-system contract ($(grep -c '^\[       OK \]' "$work/contract.txt") rows hold)"
else
  echo "DIFFERENT: the file-system contract"
  grep -E -A8 'Failure|^\[  FAILED  \]' "$work/contract.txt" || tail -20 "$work/contract.txt"
  failures=$((failures + 1))
fi

check convert-big tolvane -d32 rom.txt
check convert-little tolvane -d32 -l rom.txt
check convert-default tolvane rom.txt
check split-big marisk img_0x100.vh
check split-little marisk -eL img_0x100.vh
check split-halves marisk -s16 img_0x100.vh
check convert-large tolvane -d32 -l big.txt
check split-large marisk -eL -s16 big_0x10.vh
check refused-width-tolvane tolvane -d4 rom.txt
check refused-width-marisk marisk -s4 img_0x100.vh
check missing-input-tolvane tolvane missing.txt
check missing-input-marisk marisk missing_0x10.vh
check no-arguments marisk
check help tolvane -h
check binary tolvane -d32 -b big.txt
check binary-little tolvane -bin -l rom.txt
check split-kilobit marisk -d1024 -s64 kilo_0x10.vh
# Firmware with a gap from Intel HEX, at its memory's first address and depth, then in
# byte banks; a kilobit-wide image; a refused record.
check intel-hex tolvane -x -d32 -a80000000 -n12 fw_0x8000.hex
PREPARE='"$root/build/tools/tolvane" -x -d32 -a80000000 -n12 fw_0x8000.hex >/dev/null' \
  check intel-hex-banks marisk fw_0x8000.vh
check intel-hex-refused tolvane -x -a80000004 fw_0x8000.hex
check kilobit-tolvane tolvane -d1024 -b big.txt
check long-help marisk --help
# Memory files other tools write: objcopy's, four words a line over many buffers; a
# word too wide; a line whose words went to the disk before it was skipped.
PREPARE='objcopy -I binary -O verilog --verilog-data-width=4 big.txt mem_0x10.vh' \
  check objcopy-memory-file marisk -eL -s16 mem_0x10.vh
PREPARE='printf "/* two */\r\n1234 // 1\r\n123456789 zz\r\n" >wide_0x1.vh' \
  check word-too-wide marisk wide_0x1.vh
PREPARE='awk "BEGIN { for (i = 0; i < 120000; i++) printf \"12 \"; printf \"hello\r\n34\r\n\" }" >skip_0x1.vh' \
  check long-line-skipped marisk -d8 skip_0x1.vh
# Each output format once, with a name, a fill byte and depths; the mif banks wait for
# their depth in a scratch file.
check format-coe tolvane -d32 -fcoe -pFF rom.txt
check format-mif-depth tolvane -x -d32 -a80000000 -fmif -n16 -oram.mif fw_0x8000.hex
check format-mem tolvane -d16 -l -fmem big.txt
check format-mi tolvane -fmi -p5A rom.txt
check format-vb marisk -fvb img_0x100.vh
check format-mif-banks marisk -s16 -fmif -obank img_0x100.vh
check format-coe-depth marisk -fcoe -n5 -pEE -oram img_0x100.vh
PREPARE='printf "@0\t1234x678\r\n" >x_0x1.vh' check format-refused marisk -fmif x_0x1.vh
# A linker's ELF file cut to its ROM, and banks in rows of chips.
check elf-rom tolvane -e -c -d32 -a8000000 -n16 fw.elf
check banks-in-rows marisk -s16 -n3 -r2 img_0x100.vh
# S-records, two inputs in one image, word-addressed Intel HEX.
PREPARE='objcopy -I binary -O srec --change-addresses=0x8000 rom.txt rom.srec' \
  check srecords tolvane -s -d32 -l -a8000 rom.srec
PREPARE='objcopy -I ihex -O ihex --change-addresses=0x100 fw_0x8000.hex late.hex' \
  check two-inputs tolvane -x -d32 -a80000000 fw_0x8000.hex late.hex -ofw.vh
check format-hex tolvane -x -d32 -fhex fw_0x8000.hex
check format-hex-banks marisk -s16 -fhex img_0x100.vh
# Values after a space, quiet runs, and what a crop dropped.
check values-after-space tolvane -d32 -o out.coe -f coe -n 0x8 rom.txt
check quiet-refused marisk -q -s4 img_0x100.vh
check crop-said tolvane -e -c -d32 -a8000000 -n4 fw.elf
# An old output is replaced whole; a write that fails leaves the old files as they were.
PREPARE='printf "@0\told\r\n" >rom.vh' check replaced-output tolvane -d32 rom.txt
PREPARE='printf "@0\told\r\n" >rom.vh; ln -s /dev/full big.vh' check failing-write tolvane big.txt
PREPARE='printf "@0\told\r\n" >img_0x400_3.vh; ln -s /dev/full img_0x400_1.vh' \
  check failing-bank marisk img_0x100.vh
# Replaced banks are backed up and renamed together; nothing hidden is left.
PREPARE='printf "@0\told\r\n" >img_0x400_3.vh; printf "@0\told\r\n" >img_0x400_0.vh' \
  check replaced-banks marisk img_0x100.vh

# A linked output replaces the file the link ends at, through a relative link in another
# folder and a chain, and the links stay; a loop is refused.
PREPARE='mkdir real && printf "@0\told\r\n" >real/rom.vh && ln -s real/rom.vh rom.vh' \
  check linked-output tolvane -d32 rom.txt
PREPARE='mkdir a b && printf "@0\told\r\n" >b/rom.vh && ln -s ../b/rom.vh a/rom.vh && ln -s a/rom.vh rom.vh' \
  check linked-chain tolvane -d32 rom.txt
PREPARE='ln -s loop.vh rom.vh && ln -s rom.vh loop.vh' check link-loop tolvane -d32 rom.txt
# A link to a file not there yet stays, and the file it names is written.
PREPARE='mkdir real && ln -s real/rom.vh rom.vh' check linked-missing tolvane -d32 rom.txt
PREPARE='mkdir real && ln -s real/bank.vh img_0x400_2.vh' check linked-missing-bank marisk img_0x100.vh

# A replaced output only its owner could use stays so. Linux keeps its mode 0600; on
# Windows it keeps its access list, as the system's own call reads it back. (Wine gives
# a file's group what its access list gives the owner, so Linux sees 0770 there: the
# one difference, Wine's mapping of access lists to modes.)
for side in linux windows; do
  dir="$work/private/$side"
  mkdir -p "$dir"
  cp examples/rom.txt "$dir/"
  printf '@0\told\r\n' >"$dir/rom.vh"
  chmod 600 "$dir/rom.vh"
done
before=$(cd "$work/private/windows" && "$wine" "$helper" dacl rom.vh)
(cd "$work/private/linux" && "$root/build/tools/tolvane" -d32 rom.txt >/dev/null)
(cd "$work/private/windows" && "$wine" "$root/build/windows/tolvane.exe" -d32 rom.txt >/dev/null)
after=$(cd "$work/private/windows" && "$wine" "$helper" dacl rom.vh)
if [ "$(stat -c %a "$work/private/linux/rom.vh")" != 600 ] || [ "$before" != "$after" ] ||
  [ $((0$(stat -c %a "$work/private/windows/rom.vh") & 7)) != 0 ] ||
  ! cmp -s "$work/private/linux/rom.vh" "$work/private/windows/rom.vh"; then
  echo "DIFFERENT: a private output replaced: Linux $(stat -c %a "$work/private/linux/rom.vh"), Windows $(stat -c %a "$work/private/windows/rom.vh"), access list $before, then $after"
  failures=$((failures + 1))
else
  echo "same: a private output replaced (Linux 0600; Windows access list $after)"
fi

# Two splits side by side onto the same 127 bank names, round after round: both end
# with status 0, the banks are the whole set of one of them, and nothing hidden is left.
mkdir -p "$work/side/files"
printf '@0\t%s\r\n' "$(printf 'A%.0s' {1..254})" >"$work/side/files/img_0x100.vh"
printf '@0\t%s\r\n' "$(printf 'B%.0s' {1..254})" >"$work/side/files/img_0x100.b.vh"
side_failures=0
for round in 1 2 3; do
  (cd "$work/side/files" && timeout 120 "$wine" "$root/build/windows/marisk.exe" -d1016 \
    img_0x100.vh >../a.out 2>&1; echo $? >../a.status) &
  (cd "$work/side/files" && timeout 120 "$wine" "$root/build/windows/marisk.exe" -d1016 \
    img_0x100.b.vh >../b.out 2>&1; echo $? >../b.status) &
  wait
  kinds=$(cat "$work"/side/files/img_0x7f00_*.vh | cut -f2 | sort -u | wc -l)
  hidden=$(find "$work/side/files" -name '.*' -type f | wc -l)
  if [ "$(cat "$work/side/a.status")$(cat "$work/side/b.status")" != 00 ] || [ "$kinds" != 1 ] ||
    [ "$(ls "$work"/side/files/img_0x7f00_*.vh | wc -l)" != 127 ] || [ "$hidden" != 0 ]; then
    echo "DIFFERENT: side by side, round $round: statuses $(cat "$work/side/a.status") $(cat "$work/side/b.status"), $kinds kinds of bank, $hidden hidden files"
    side_failures=$((side_failures + 1))
  fi
done
[ "$side_failures" = 0 ] && echo "same: two 127-bank splits side by side, 3 rounds (status 0 twice, the banks of one)"
failures=$((failures + side_failures))

# Ctrl-C ends a run that waits for another run's lock, and changes nothing: the input is
# a FIFO, so the run has made its temporary file before the lock is held elsewhere
# (flock(1) on Linux, the same named mutex on Windows), and it waits once the input ends.
for side in linux windows; do
  dir="$work/waiting/$side"
  mkdir -p "$dir"
  printf '@0\told\r\n' >"$dir/rom.vh"
  mkfifo "$dir/rom.txt" "$dir/hold"
  if [ "$side" = linux ]; then
    (cd "$dir" && exec timeout 120 "$root/build/tools/tolvane" -d32 rom.txt >stdout 2>&1) &
  else
    (cd "$dir" && exec timeout 120 "$wine" "$root/build/windows/tolvane.exe" -d32 rom.txt \
      >stdout 2>&1) &
  fi
  run=$!
  exec 5>"$dir/rom.txt"
  awk 'BEGIN { for (i = 0; i < 200; i++) printf "%02x\r\n", i }' >&5
  wait_until "ls -a '$dir' | grep -q '\\.tmp\$'" || failures=$((failures + 1))
  if [ "$side" = linux ]; then
    (timeout 120 flock "$dir" cat "$dir/hold" >/dev/null &)
    wait_until "grep -q '^[0-9]*: FLOCK .*:$(stat -c %i "$dir") ' /proc/locks" ||
      failures=$((failures + 1))
  else
    (cd "$dir" && timeout 120 "$wine" "$helper" hold . <hold >held &)
  fi
  exec 4>"$dir/hold"
  [ "$side" = linux ] || wait_until "grep -q held '$dir/held' 2>/dev/null" ||
    failures=$((failures + 1))
  exec 5>&-
  sleep 1  # the run has nothing left to do but wait for the lock
  pkill -INT -f "tolvane(.exe)? -d32 rom.txt" || true
  wait "$run" || true
  exec 4>&-
  rm -f "$dir/hold" "$dir/held" "$dir/rom.txt"
done
if diff -r "$work/waiting/linux" "$work/waiting/windows" >"$work/waiting.diff" &&
  [ "$(ls -A "$work/waiting/linux")" = "$(printf 'rom.vh\nstdout')" ]; then
  echo "same: Ctrl-C while another run holds the lock (every file as it was, nothing hidden left)"
else
  echo "DIFFERENT: Ctrl-C while another run holds the lock"
  ls -A "$work/waiting/linux" "$work/waiting/windows"
  cat "$work/waiting.diff"
  failures=$((failures + 1))
fi

# CR LF on disk on both sides, not only equal files.
grep -q $'\r$' "$work/convert-big/windows/files/rom.vh"
grep -q $'\r$' "$work/split-big/windows/files/img_0x400_0.vh"
# Names outside ASCII, in a folder whose name is not ASCII, given with back slashes on
# Windows; a UTF-8 byte-order mark is skipped, UTF-16 text refused with its name.
BACKSLASHES=1 PREPARE='mkdir данные && cp rom.txt данные/ж.txt' \
  check cyrillic tolvane -d32 данные/ж.txt
BACKSLASHES=1 PREPARE='mkdir データ && cp img_0x100.vh データ/画像_0x100.vh' \
  check cjk marisk -eL データ/画像_0x100.vh
BACKSLASHES=1 PREPARE='mkdir "Zoë 📁" && cp rom.txt "Zoë 📁/🎉.txt"' \
  check emoji tolvane -l "Zoë 📁/🎉.txt"
PREPARE='printf "\357\273\2773f\r\n4e" >mark.txt' check mark tolvane mark.txt
PREPARE='printf "\357\273\277@10\tABCD\r\n" >m_0x1.vh' check mark-image marisk -d16 m_0x1.vh
PREPARE='printf "\377\3763\000f\000" >ж.txt' check utf16-list tolvane ж.txt
PREPARE='printf "\376\377\000@" >画像_0x1.vh' check utf16-image marisk 画像_0x1.vh

# The Windows zip: exactly the programs, the README, the licence and both manual pages
# as text with CR LF line ends; its tolvane.exe converts the example under Wine.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
(cd build/windows && cpack -G ZIP -B "$work/zip" >/dev/null)
zip="$work/zip/verilog-hex-tools-$version-win64.zip"
top="verilog-hex-tools-$version-win64"
listed=$(unzip -Z1 "$zip" | sort)
expected=$(printf '%s\n' "$top/LICENSE" "$top/README.md" "$top/marisk.exe" "$top/marisk.txt" \
  "$top/tolvane.exe" "$top/tolvane.txt")
if [ "$listed" != "$expected" ]; then
  printf 'the zip holds:\n%s\n' "$listed"
  failures=$((failures + 1))
fi
unzip -q "$zip" -d "$work/zip"
for page in tolvane marisk; do
  if grep -qv $'\r$' "$work/zip/$top/$page.txt" || ! grep -q 'SYNOPSIS' "$work/zip/$top/$page.txt"; then
    echo "the zip's $page.txt is no CR LF text of the manual page"
    failures=$((failures + 1))
  fi
done
mkdir "$work/zip/run"
cp examples/rom.txt "$work/zip/run/"
(cd "$work/zip/run" && "$wine" "$work/zip/$top/tolvane.exe" -d32 rom.txt >/dev/null)
printf '\x12\x34\r\n\x1a' >"$work/zip/run/fw.bin"
(cd "$work/zip/run" && "$wine" "$work/zip/$top/tolvane.exe" -d32 -b fw.bin >/dev/null)
if [ "$(cat "$work/zip/run/rom.vh"; echo .)" != $'@0\t00112233\r\n@1\tDEADBEEF\r\n@2\tCAFE0000\r\n.' ]; then
  echo "the zip's tolvane.exe converts rom.txt wrongly"
  failures=$((failures + 1))
elif [ "$(cat "$work/zip/run/fw.vh"; echo .)" != $'@0\t12340D0A\r\n@1\t1A000000\r\n.' ]; then
  echo "the zip's tolvane.exe converts a binary file wrongly"
  failures=$((failures + 1))
else
  echo "zip: $(basename "$zip") holds $(echo "$listed" | sed "s|$top/||" | tr '\n' ' ')and converts, -b too"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures command lines differ between Linux and Windows" >&2
  exit 1
fi
echo "Windows and Linux programs agree byte for byte."
