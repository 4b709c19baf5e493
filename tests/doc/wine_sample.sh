#!/bin/sh
# Registers the cross-built qrvx.dll under Wine and runs the script of the
# sample page Upload.asp through cscript twice: on the captured browser upload
# of examples/ and on a body with unsafe file names and markup. The script
# run is the page's own script block (the one that creates QRVX.Acceptor)
# between asp_host.vbs (stand-ins for the ASP objects) and upload_checks.vbs,
# after the shared check counter. Each run must run and pass the checks it
# plans.
# wine_sample.sh WINE_RUN PREFIX DLL UPLOAD_ASP EXAMPLES_DIR WORK_DIR
set -u
run="$1 $2"
dll=$3 asp=$4 examples=$5 work=$6
here=$(dirname "$0")
status=0
fail() { printf "FAIL: %s\n" "$*"; status=1; }
winpath() { printf "%s\n" "Z:$1" | sed 's|/|\\|g'; }
vbs_support="$here/../support"
. "$vbs_support/vbs_suite.sh"
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

$run regsvr32 /s "$(winpath "$dll")" || fail "regsvr32 exit code $?"
# run_page NAME: the page's script on the body NAME.
run_page() {
  vbs_suite "$run" "$work/run-$1" "$here/asp_host.vbs" "$work/page.vbs" "$here/upload_checks.vbs" \
    -- "$(winpath "$work/$1.hex")" "$(winpath "$work/$1")" "$1"
}
run_page capture
run_page hostile
$run regsvr32 /s /u "$(winpath "$dll")" || fail "regsvr32 /u exit code $?"
[ $status -eq 0 ] && echo "wine_sample: all checks passed"
exit $status
