#!/bin/sh
# The writer of one stand-in database instance as a service: installed,
# started, seen by the backup software, traced, stopped and removed.
# `make demo` runs it inside scripts/with-wine after prepare-prefix.sh.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
bin=$build/sim/vorlix/home/BIN
snapscribe=$build/snapscribe/program/snapscribe.exe
vssreq=$build/sim/vss/vssreq.exe
home='C:\vorlix-demo'
trace="$home\\DB1.trc"
export VORLIX_HOME="$home"

step() { printf '\n==== %s\n' "$*"; }
run() { printf '$ %s\n' "$*" | sed "s|$build/||g"; "$@" || printf '(exit status %s)\n' "$?"; }
sql() { run wine "$bin/vlxsql.exe" DB1 -- "$@"; }
parcels() { sql "select id, destination, note from parcels order by id"; }
users_file="$home\\instances\\DB1\\users01.dbf"

# A datafile lost with the instance down, then the restore of "Vorlix
# Database" from the set given, with the restore options given (if any).
lose_and_restore() {
  local set=$1 why=$2
  shift 2
  step "A datafile is lost: DB1 is shut down and its users01.dbf deleted"
  run wine "$bin/vlxsim.exe" shutdown DB1
  printf '$ rm %s\n' "$users_file"
  rm -f "$(winepath -u "$users_file")"
  step "Restore of \"Vorlix Database\" from $set: $why"
  run wine "$vssreq" restore --set "$set" --instance DB1 --component 'DB1\Vorlix Database' "$@"
  step "DB1 after the restore: recovered and mounted, as the writer leaves it"
  sql "select open_mode from v\$database"
  step "The database administrator opens DB1 (RESETLOGS: its control file is the backup's)"
  sql "alter database open resetlogs"
  sql "select open_mode from v\$database"
  parcels
}
step "A stand-in instance DB1 with its instance service"
wine "$bin/vlxsim.exe" drop DB1 >/dev/null 2>&1 || true
rm -f "$(winepath -u "$trace")"
run wine "$bin/vlxsim.exe" create DB1 "$(winepath -w "$top/demo/db1.json")"

step "Trace settings of the DB1 writer: every kind of entry, to $trace"
run wine "$snapscribe" DB1 /tl 65567 /tf "$trace"

step "The Vorlix home $home, with the installation's programs in its BIN folder"
mkdir -p "$(winepath -u "$home")/BIN"
cp -r "$bin"/. "$(winepath -u "$home")/BIN/"
(cd "$(winepath -u "$home")/BIN" && ls | tr '\n' ' ' && echo)

step "The Vorlix home as an installation setting, where the writer service finds it"
run wine "$bin/vlxdim.exe" -ex vorlix registry set VORLIX_HOME $home

step "Install the writer service of DB1 (installing also starts it)"
run wine "$snapscribe" DB1 /i
echo
run wine "$snapscribe" /q

step "Stop and start every writer service"
run wine "$snapscribe" /q /stop
run wine "$snapscribe" /q /status
run wine "$snapscribe" /q /start

step "What the backup software sees: the component tree of DB1 and the files no backup takes"
run wine "$vssreq" writers --instance DB1

step "A table PARCELS in DB1, with the rows the backup will hold"
sql "create table parcels (id number, destination varchar2(30), note varchar2(40))" \
  "insert into parcels values (1, 'Oslo', 'before the backup')" \
  "insert into parcels values (2, 'Lisbon', 'before the backup')"
parcels

step "A FULL hot backup of DB1, with an SQL command before and one after the shadow copy"
set_dir="$home\\backup-full"
rm -rf "$(winepath -u "$set_dir")"
run wine "$vssreq" backup --set "$set_dir" --type FULL --instance DB1 \
  --component 'DB1\Vorlix Database' \
  --options 'PRE_SQLCMD=alter system checkpoint;POST_SQLCMD=alter system switch logfile'

step "The backup set on disk"
(cd "$(winepath -u "$set_dir")" && find . -type f | sort | sed 's|^\./|  |')

step "What the writer left in the backup document (archived logs decoded and compared here)"
/usr/bin/python3 "$top/demo/show_backup_document.py" \
  "$(winepath -u "$set_dir")/backup-document.txt" DB1

step "DB1's datafiles after the backup: none left in hot backup mode"
run wine "$bin/vlxsim.exe" headers DB1

step "After the backup: more rows, and a log switch that archives them"
sql "insert into parcels values (3, 'Tallinn', 'after the backup')" \
  "insert into parcels values (4, 'Porto', 'after the backup')" \
  "alter system archive log current"
parcels
lose_and_restore "$set_dir" "the writer starts DB1 through its service, mounts it,
catalogues the archived logs it re-creates from the restore metadata and recovers
up to the backup (rows 1 and 2; rows 3 and 4 came later)"

step "Second round, with complete recovery: a new FULL hot backup of DB1"
set_dir2="$home\\backup-full-2"
rm -rf "$(winepath -u "$set_dir2")"
run wine "$vssreq" backup --set "$set_dir2" --type FULL --instance DB1 \
  --component 'DB1\Vorlix Database'

step "After the second backup: more rows, and a log switch"
sql "insert into parcels values (5, 'Riga', 'after the second backup')" \
  "alter system archive log current"
parcels
lose_and_restore "$set_dir2" "with the post writer command COMPLETE_RECOVER the writer
recovers through every log to the last change (row 5 as well)" \
  --options 'POST_WTRCMD=COMPLETE_RECOVER'

step "DB1 started but not mounted: the writer answers with its schema and restore method only"
run wine "$bin/vlxsim.exe" shutdown DB1
run wine "$bin/vlxsim.exe" startup DB1 nomount
run wine "$vssreq" writers --instance DB1
run wine "$bin/vlxsim.exe" shutdown DB1
run wine "$bin/vlxsim.exe" startup DB1 open

step "State of the writer services"
run wine "$snapscribe" /q /status

step "Stop every writer service"
run wine "$snapscribe" /q /stop
run wine "$snapscribe" /q /status

step "The writer's trace"
tr -d '\r' < "$(winepath -u "$trace")"

step "Remove the writer service, its trace settings and the instance"
run wine "$snapscribe" DB1 /d
echo
run wine "$snapscribe" DB1 /tl 0 /tf ""
echo
run wine "$bin/vlxsim.exe" drop DB1
run wine "$bin/vlxdim.exe" -ex vorlix registry del VORLIX_HOME
rm -rf "$(winepath -u "$home")/BIN"
