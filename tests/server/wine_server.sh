#!/bin/sh
# Registers the cross-built qrvx.dll with regsvr32 under Wine, checks the
# registry with reg query, runs the VBScript suite through cscript (which
# must report exactly the expected number of passed checks), unregisters it
# and checks that the keys are gone.
# wine_server.sh WINE_RUN PREFIX DLL SOURCE_DIR DATA_DIR EXAMPLES_DIR WORK_DIR CHECKS
set -u
run="$1 $2"
dll=$3 src=$4 data=$5 examples=$6 work=$7 checks=$8
clsid='{7806FC75-04C2-45B7-A723-3DC129D6344A}'
libid='{3C86BF94-8932-4E97-9B38-66C71EEA9A7E}'
status=0
fail() { printf "FAIL: %s\n" "$*"; status=1; }
winpath() { printf "%s\n" "Z:$1" | sed 's|/|\\|g'; }
# reg query KEY [VALUE-SWITCHES] must print the line "NAME    REG_SZ    DATA".
expect() {
  out=$($run reg query "$1" $2 2>&1 | tr -d '\r')
  printf "%s\n" "$out" | grep -qF "$3" || fail "reg query $1: no line with '$3' in: $out"
}

rm -rf "$work" && mkdir -p "$work" || exit 1
hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }
hex "$data/multipart/werkzeug/firefox3-2png1txt/request.http" >"$work/firefox3.hex"
hex "$data/multipart/werkzeug/firefox3-2png1txt/file1.png" >"$work/file1.hex"
hex "$examples/upload.body" >"$work/upload.hex"

$run regsvr32 /s "$(winpath "$dll")" || fail "regsvr32 exit code $?"
key="HKCR\\CLSID\\$clsid"
expect "$key\\InprocServer32" "/ve" "REG_SZ    $(winpath "$dll")"
expect "$key\\InprocServer32" "/v ThreadingModel" "ThreadingModel    REG_SZ    Apartment"
expect "$key\\ProgID" "/ve" "REG_SZ    QRVX.Acceptor"
expect "$key\\Version" "/ve" "REG_SZ    1.0"
expect "$key\\TypeLib" "/ve" "REG_SZ    $libid"
expect "HKCR\\QRVX.Acceptor\\Clsid" "/ve" "REG_SZ    $clsid"
expect "HKCR\\TypeLib\\$libid\\1.0\\409\\win64" "/ve" "REG_SZ    $(winpath "$dll")"
$run reg query "HKCR\\QRVX.Acceptor.1" >/dev/null 2>&1 && fail "a versioned ProgID was written"

out=$($run cscript //nologo "$(winpath "$src/acceptor.vbs")" "$(winpath "$data")" \
  "$(winpath "$work")" 2>&1 | tr -d '\r')
code=$?
printf "%s\n" "$out"
[ $code -eq 0 ] || fail "cscript exit code $code"
printf "%s\n" "$out" | tail -n 1 | grep -qx "$checks passed, 0 failed" ||
  fail "the suite did not report '$checks passed, 0 failed'"

$run regsvr32 /s /u "$(winpath "$dll")" || fail "regsvr32 /u exit code $?"
for k in "$key" "HKCR\\QRVX.Acceptor" "HKCR\\TypeLib\\$libid\\1.0"; do
  $run reg query "$k" >/dev/null 2>&1 && fail "$k is still there"
done
[ $status -eq 0 ] && echo "wine_server: all checks passed"
exit $status
