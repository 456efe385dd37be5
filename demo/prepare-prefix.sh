#!/bin/sh
# Puts the stand-in database's BIN folder on the prefix's system PATH, as a
# database installation does, so that services started by the service
# control manager find the client library and the administration tool. The
# service control manager reads the PATH when the wineserver starts: this
# runs in a wineserver session of its own before the demo.
set -eu
build=$1
bin=$(winepath -w "$build/sim/vorlix/home/BIN")
key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
path=$(wine reg query "$key" /v PATH | tr -d '\r' | sed -n 's/.*REG_EXPAND_SZ *//p')
# The BIN folder of the other bitness's build leaves it: the writer would
# find that build's client library first, which it cannot load.
others=$(printf '%s' "$path" | awk 'BEGIN { RS = ";"; ORS = ";" }
  length($0) && !/\\sim\\vorlix\\home\\BIN$/')
wanted="$others$bin"
[ "$wanted" = "$path" ] ||
  wine reg add "$key" /v PATH /t REG_EXPAND_SZ /d "$wanted" /f >/dev/null
