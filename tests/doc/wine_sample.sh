#!/bin/sh
# Registers the cross-built qrvx.dll under Wine and runs the script of the
# sample page Upload.asp through cscript twice: on the captured browser upload
# of examples/ and on a body with unsafe file names and markup. The script
# run is the page's own script block (the one that creates QRVX.Acceptor)
# between asp_host.vbs (stand-ins for the ASP objects) and upload_checks.vbs.
# Each run must report exactly its expected number of checks.
# wine_sample.sh WINE_RUN PREFIX DLL UPLOAD_ASP EXAMPLES_DIR WORK_DIR
set -u
run="$1 $2"
dll=$3 asp=$4 examples=$5 work=$6
here=$(dirname "$0")
status=0
fail() { printf "FAIL: %s\n" "$*"; status=1; }
winpath() { printf "%s\n" "Z:$1" | sed 's|/|\\|g'; }
hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }

rm -rf "$work" && mkdir -p "$work/capture" "$work/hostile" || exit 1
hex "$examples/upload.body" >"$work/capture.hex"
# A body with markup in a field and file names that must not become paths.
b=----qrvxsample
{
  printf -- '--%s\r\nContent-Disposition: form-data; name="Customer"\r\n\r\n' $b
  printf -- '<b>bold</b> & "quoted"\r\n'
  for name in ../evil.txt con.txt .hidden 'x*y.txt' ok.txt; do
    printf -- '--%s\r\nContent-Disposition: form-data; name="Attachment"; filename="%s"\r\n' $b "$name"
    printf -- 'Content-Type: text/plain\r\n\r\nhello\r\n'
  done
  printf -- '--%s--\r\n' $b
} >"$work/hostile.body"
hex "$work/hostile.body" >"$work/hostile.hex"

# The page's script block: from a line "<%" to a line "%>", the one block
# that creates the object.
awk '{ sub(/\r$/, "") }
     $0 == "<%" { block = ""; inside = 1; next }
     $0 == "%>" { if (inside && block ~ /QRVX\.Acceptor/) printf "%s", block; inside = 0; next }
     inside { block = block $0 "\r\n" }' "$asp" >"$work/page.vbs"
grep -q 'Server.CreateObject("QRVX.Acceptor")' "$work/page.vbs" || fail "no script block in $asp"
cat "$here/asp_host.vbs" "$work/page.vbs" "$here/upload_checks.vbs" >"$work/run.vbs"

$run regsvr32 /s "$(winpath "$dll")" || fail "regsvr32 exit code $?"
# run NAME COUNT: cscript must end with "COUNT passed, 0 failed".
run_page() {
  $run cscript //nologo "$(winpath "$work/run.vbs")" "$(winpath "$work/$1.hex")" \
    "$(winpath "$work/$1")" "$1" >"$work/$1.out" 2>&1
  code=$?
  out=$(tr -d '\r' <"$work/$1.out")
  printf "%s\n" "$out"
  [ $code -eq 0 ] || fail "$1: cscript exit code $code"
  printf "%s\n" "$out" | tail -n 1 | grep -qx "$2 passed, 0 failed" ||
    fail "$1 did not report '$2 passed, 0 failed'"
}
run_page capture 18
run_page hostile 9
$run regsvr32 /s /u "$(winpath "$dll")" || fail "regsvr32 /u exit code $?"
[ $status -eq 0 ] && echo "wine_sample: all checks passed"
exit $status
