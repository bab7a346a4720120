#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a temporary root and
# checks that it holds both tools and both manual pages, and that the installed tolvane
# runs. Usage: tests/package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
package=$(ls "$work"/out/*.deb)
dpkg-deb --contents "$package" | awk '{ print $NF }' | grep -v '/$' | sort >"$work/files"
expected="./usr/bin/marisk
./usr/bin/tolvane
./usr/share/man/man1/marisk.1
./usr/share/man/man1/tolvane.1"
if [ "$(cat "$work/files")" != "$expected" ]; then
  echo "unexpected package contents:" >&2
  cat "$work/files" >&2
  exit 1
fi

dpkg -x "$package" "$work/root"
"$work/root/usr/bin/tolvane" -h >"$work/installed.txt"
"$build/tolvane" -h >"$work/built.txt"
cmp "$work/installed.txt" "$work/built.txt"
grep -q 'Converts text byte data 2 VerilogHex format' "$work/installed.txt"
echo "$(basename "$package"): $(tr '\n' ' ' <"$work/files")"
