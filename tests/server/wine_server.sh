#!/bin/sh
# Registers the cross-built qrvx.dll with regsvr32 under Wine, checks the
# registry with reg query, runs the VBScript suites through cscript (each must
# run and pass every check it plans), unregisters it and checks that the keys
# are gone. Then registers the test build of the library that cannot allocate
# long strings and runs the member error suite.
# wine_server.sh WINE_RUN PREFIX DLL SOURCE_DIR DATA_DIR EXAMPLES_DIR WORK_DIR
#                LIMITED_DLL CLSID LIBID
# (CLSID and LIBID braced, as the build reads them from receiver/Guids.h.)
set -u
run="$1 $2"
dll=$3 src=$4 data=$5 examples=$6 work=$7 limited=$8 clsid=$9 libid=${10}
status=0
fail() { printf "FAIL: %s\n" "$*"; status=1; }
winpath() { printf "%s\n" "Z:$1" | sed 's|/|\\|g'; }
vbs_support="$src/../support"
. "$vbs_support/vbs_suite.sh"
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

vbs_suite "$run" "$work/acceptor" "$src/acceptor.vbs" -- "$(winpath "$data")" "$(winpath "$work")" \
  "$clsid"
vbs_suite "$run" "$work/loops" "$src/loops.vbs" -- "$(winpath "$data")" "$(winpath "$work")"

$run regsvr32 /s /u "$(winpath "$dll")" || fail "regsvr32 /u exit code $?"
for k in "$key" "HKCR\\QRVX.Acceptor" "HKCR\\TypeLib\\$libid\\1.0"; do
  $run reg query "$k" >/dev/null 2>&1 && fail "$k is still there"
done
# From a directory whose path holds a space, the server is registered under
# the short (8.3) form of its path.
spaced="$work/with space"
mkdir -p "$spaced" && cp "$dll" "$spaced/qrvx.dll"
$run regsvr32 /s "$(winpath "$spaced/qrvx.dll")" || fail "regsvr32 (spaced) exit code $?"
out=$($run reg query "$key\\InprocServer32" /ve 2>&1 | tr -d '\r' | grep REG_SZ)
value=${out##*REG_SZ    }
case "$value" in
  *" "* | "") fail "InprocServer32 is not a short path: '$value'" ;;
  *[Qq][Rr][Vv][Xx].[Dd][Ll][Ll]) ;;
  *) fail "InprocServer32 does not name qrvx.dll: '$value'" ;;
esac
$run regsvr32 /s /u "$(winpath "$spaced/qrvx.dll")" || fail "regsvr32 /u (spaced) exit code $?"

$run regsvr32 /s "$(winpath "$limited")" || fail "regsvr32 (limited) exit code $?"
vbs_suite "$run" "$work/member_error" "$src/member_error.vbs"
$run regsvr32 /s /u "$(winpath "$limited")" || fail "regsvr32 /u (limited) exit code $?"

[ $status -eq 0 ] && echo "wine_server: all checks passed"
exit $status
