#!/usr/bin/env bash
# Makes the Debian package and the RPM from a build folder and checks each: every path
# it holds, lintian's verdict on the Debian package (nothing to report), and that its
# tolvane, unpacked into a temporary root, converts examples/rom.txt exactly.
# Usage: tests/package_test.sh BUILD_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
image=$'@0\t00112233\r\n@1\tDEADBEEF\r\n@2\tCAFE0000\r\n'

(cd "$work" && cpack -G "DEB;RPM" --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
deb="$work/out/verilog-hex-tools_${version}_amd64.deb"
rpm="$work/out/verilog-hex-tools-${version}-1.x86_64.rpm"

check_list() {  # what actual expected
  if [ "$2" != "$3" ]; then
    printf '%s holds:\n%s\nexpected:\n%s\n' "$1" "$2" "$3" >&2
    exit 1
  fi
}
check_list "$(basename "$deb")" "$(dpkg-deb --contents "$deb" | awk '{ print $NF }' | grep -v '/$')" \
  "./usr/bin/marisk
./usr/bin/tolvane
./usr/share/doc/verilog-hex-tools/changelog.gz
./usr/share/doc/verilog-hex-tools/copyright
./usr/share/man/man1/marisk.1.gz
./usr/share/man/man1/tolvane.1.gz"
check_list "$(basename "$rpm")" "$(rpm -qlp "$rpm" 2>/dev/null)" \
  "/usr/bin/marisk
/usr/bin/tolvane
/usr/share/doc/verilog-hex-tools
/usr/share/doc/verilog-hex-tools/changelog.gz
/usr/share/doc/verilog-hex-tools/copyright
/usr/share/man/man1/marisk.1.gz
/usr/share/man/man1/tolvane.1.gz"

report=$(lintian --allow-root "$deb" 2>&1) || true
if [ -n "$report" ]; then
  printf 'lintian on %s:\n%s\n' "$(basename "$deb")" "$report" >&2
  exit 1
fi

# Each package's tolvane converts the example as the built one does.
dpkg -x "$deb" "$work/deb"
mkdir "$work/rpm"
(cd "$work/rpm" && rpm2cpio "$rpm" | cpio -idm --quiet)
for root in deb rpm; do
  mkdir "$work/$root/run"
  cp "$source_dir/examples/rom.txt" "$work/$root/run/"
  (cd "$work/$root/run" && "$work/$root/usr/bin/tolvane" -d32 rom.txt >/dev/null)
  if [ "$(cat "$work/$root/run/rom.vh"; echo .)" != "$image." ]; then
    echo "the $root package's tolvane converts rom.txt wrongly" >&2
    exit 1
  fi
done
echo "$(basename "$deb") and $(basename "$rpm"): contents as expected, lintian silent, tolvane converts"
