#!/bin/sh
# check_exports.sh DLL IMPORT-LIBRARY PUBLISHED-LIST
# The DLL exports exactly the published plain names, and the import library
# decorates each as the published signature's stdcall argument size.
set -eu
export LC_ALL=C
dll=$1 implib=$2 published=$3
expected=$(mktemp) exported=$(mktemp) decorated=$(mktemp)
trap 'rm -f "$expected" "$exported" "$decorated"' EXIT

grep -v '^#' "$published" | sort >"$expected"
i686-w64-mingw32-objdump -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^.*\] \([A-Za-z_][A-Za-z0-9_@]*\)$/\1/p' | sort >"$exported"
i686-w64-mingw32-nm "$implib" |
  sed -n 's/^.* T _\([A-Za-z0-9_]*@[0-9]*\)$/\1/p' | sort -u >"$decorated"

status=0
if ! sed "s/@.*//" "$expected" | sort | diff -u - "$exported"; then
  echo "IDAPI32.DLL's exports differ from the published names" >&2
  status=1
fi
if ! diff -u "$expected" "$decorated"; then
  echo "the import library's stdcall decorations differ from the published signatures" >&2
  status=1
fi
exit $status
