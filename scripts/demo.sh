#!/usr/bin/env bash
# Builds the tools in build/tools and runs them on the bundled examples in build/demo,
# showing what they print and write.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages cmake make g++ binutils

# A build of its own, without the tests, so that GoogleTest is not needed here.
cmake --preset tools >/dev/null
cmake --build --preset tools -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
cp examples/rom.txt "$demo/"
cd "$demo"
# The first bytes of a little-endian CPU's firmware (RISC-V, Arm): -l puts byte 0 in the
# low bits of word 0, as the CPU loads it.
echo "\$ tolvane -d32 -l rom.txt"
../tools/tolvane -d32 -l rom.txt
echo
echo "\$ cat rom.vh"
cat rom.vh

cp ../../examples/img_0x100.vh .
echo
echo "\$ marisk img_0x100.vh"
../tools/marisk img_0x100.vh
for bank in 3 2 1 0; do
  echo
  echo "\$ cat img_0x400_$bank.vh"
  cat "img_0x400_$bank.vh"
done

# Firmware from a compiler's tool chain: code at 0x8000_0000 and data at 0x8000_0020,
# for a 32-bit RAM of 12 words whose word 0 is the byte at 0x8000_0000, in byte banks.
cp ../../examples/fw_0x8000.hex .
echo
echo "\$ tolvane -x -d32 -l -a80000000 -n12 fw_0x8000.hex"
../tools/tolvane -x -d32 -l -a80000000 -n12 fw_0x8000.hex
echo
echo "\$ cat fw_0x8000.vh"
cat fw_0x8000.vh
echo
echo "\$ marisk fw_0x8000.vh"
../tools/marisk fw_0x8000.vh
for bank in 3 0; do
  echo
  echo "\$ cat fw_0x20000_$bank.vh"
  cat "fw_0x20000_$bank.vh"
done

# The same firmware for a vendor's block-RAM generator: four byte banks of a 16-word
# memory as COE files, named for the build, gaps and the rest of the depth as 0xFF.
echo
echo "\$ tolvane -x -d32 -l -a80000000 -n16 -pFF fw_0x8000.hex -ofw.vh"
../tools/tolvane -x -d32 -l -a80000000 -n16 -pFF fw_0x8000.hex -ofw.vh >/dev/null
echo "\$ marisk -fcoe -obram/fw fw.vh"
mkdir -p bram
../tools/marisk -fcoe -obram/fw fw.vh
echo
echo "\$ cat bram/fw_3.coe"
cat bram/fw_3.coe

# Firmware as the linker wrote it: code at 0x0800_0000 and data at 0x2000_0000 in one
# ELF file, cut into the ROM and RAM images with -c, the ROM then laid over 2 x 2 chips
# of 8 words and 16 bits.
cp ../../examples/fw.elf .
echo
echo "\$ tolvane -e -c -d32 -l -a8000000 -n16 -orom.vh fw.elf"
../tools/tolvane -e -c -d32 -l -a8000000 -n16 -orom.vh fw.elf >/dev/null
echo "\$ tolvane -e -c -d32 -l -a20000000 -n4 -oram.vh fw.elf"
../tools/tolvane -e -c -d32 -l -a20000000 -n4 -oram.vh fw.elf >/dev/null
echo
echo "\$ cat ram.vh"
cat ram.vh
echo
echo "\$ marisk -s16 -n16 -r8 -ochip rom.vh"
../tools/marisk -s16 -n16 -r8 -ochip rom.vh >/dev/null
for chip in 0_1 0_0 1_1 1_0; do
  echo
  echo "\$ cat chip_$chip.vh"
  cat "chip_$chip.vh"
done

# Firmware in pieces: a boot loader and an application built apart (here the example
# moved up by 0x100 bytes), merged into one ROM image for Quartus in one step.
objcopy -I ihex -O ihex --change-addresses=0x100 fw_0x8000.hex app.hex
echo
echo "\$ tolvane -x -d32 -l -a80000000 -n80 -fmif -orom.mif fw_0x8000.hex app.hex"
../tools/tolvane -x -d32 -l -a80000000 -n80 -fmif -orom.mif fw_0x8000.hex app.hex >/dev/null
echo "\$ grep -v ' : 00000000;' rom.mif"
grep -v ' : 00000000;' rom.mif
