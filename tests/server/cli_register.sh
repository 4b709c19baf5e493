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
# A library that is not the server has no such export: exit code 2 too.
"$qrvx" register libc.so.6 2>"$work/stderr.txt"
[ $? -eq 2 ] || fail "a library without the export must give exit code 2"
grep -qxF "qrvx: libc.so.6 has no export DllRegisterServer" "$work/stderr.txt" ||
  fail "no message naming the missing export"
# A registry that cannot be written: the export fails, exit code 1.
: >"$work/not-a-directory"
QRVX_REGISTRY_DIR="$work/not-a-directory" "$qrvx" register "$lib" 2>"$work/stderr.txt"
[ $? -eq 1 ] || fail "a failed registration must give exit code 1"
grep -q '^qrvx: DllRegisterServer failed (0x8[0-9A-F]\{7\})$' "$work/stderr.txt" ||
  fail "no message for the failed registration"
exit $status
