#!/bin/sh
# qrvx register / unregister against a registry of our own.
# cli_register.sh QRVX LIBRARY WORK_DIR
set -u
qrvx=$1 lib=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
export QRVX_REGISTRY_DIR="$work"
hive="$work/HKEY_CLASSES_ROOT.reg"
status=0
fail() { printf 'FAIL: %s\n' "$*"; status=1; }
"$qrvx" register "$lib" || fail "register exit code $?"
grep -qF '[HKEY_CLASSES_ROOT\QRVX.Acceptor\Clsid]' "$hive" || fail "no ProgID key"
grep -qxF "@=\"$lib\"" "$hive" || fail "no InprocServer32 value naming $lib"
"$qrvx" unregister "$lib" || fail "unregister exit code $?"
grep -qF 'QRVX.Acceptor' "$hive" && fail "ProgID left behind"
"$qrvx" register "$work/missing.so" 2>/dev/null
[ $? -eq 2 ] || fail "a missing library must give exit code 2"
exit $status
