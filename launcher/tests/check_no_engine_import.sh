#!/bin/sh
# check_no_engine_import.sh PROGRAM
# The program imports no database engine library: it loads IDAPI32.DLL itself.
set -eu
if i686-w64-mingw32-objdump -p "$1" | grep -i 'DLL Name: .*\(idapi\|dbengine\)'; then
  echo "$1 imports a database engine library" >&2
  exit 1
fi
