#!/bin/sh
# check_exports.sh DLL PUBLISHED-DEF
# The DLL exports exactly the published plain names. (That each export is
# stdcall with the published argument bytes is checked when the engine's
# tests link against an import library made from the same list.)
set -eu
export LC_ALL=C
expected=$(sed -n 's/^\(Dbi[A-Za-z0-9_]*\)@[0-9]*$/\1/p' "$2" | sort)
exported=$(i686-w64-mingw32-objdump -p "$1" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n "s/^[[:space:]]*\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_@]*\)$/\1/p" | sort)
if [ "$expected" != "$exported" ]; then
  printf 'IDAPI32.DLL exports\n%s\nbut the published names are\n%s\n' "$exported" "$expected" >&2
  exit 1
fi
