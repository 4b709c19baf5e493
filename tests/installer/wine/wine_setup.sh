#!/bin/sh
# The release folder's setup.exe under Wine on a virtual X display, driven by
# xdotool as a person would drive it: installs into a fresh prefix from the
# folder's compressed setup.dat, the log is read back from the progress
# dialog, the library is registered, a VBScript posts a body to
# QRVX.Acceptor as Upload.asp does, and the installed QRVXUnst.exe removes
# everything again.
# wine_setup.sh DIST_DIR DLGCTL_EXE HERE WORK
set -u
dist=$1 dlgctl=$2 here=$3 work=$4
status=0
fail() { printf "FAIL: %s\n" "$*"; status=1; }
winpath() { printf "%s\n" "Z:$1" | sed 's|/|\\|g'; }
vbs_support="$here/../../support"
. "$vbs_support/vbs_suite.sh"

rm -rf "$work" && mkdir -p "$work" || exit 1
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
export DISPLAY=":$(cat "$work/display")"
trap 'wineserver -k >/dev/null 2>&1; kill $xvfb 2>/dev/null' EXIT
wine wineboot --init </dev/null >/dev/null 2>&1
wineserver -w

[ -f "$dist/setup.exe" ] && [ -f "$dist/setup.dat" ] || { fail "no release folder $dist"; exit 1; }

# dlg TITLE: waits (up to 60 s) for the visible window captioned TITLE.
dlg() { timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
press_key() { xdotool windowfocus "$1" && sleep 0.3 && xdotool key "$2"; }
ctl() { wine "$dlgctl" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

wine "$dist/setup.exe" </dev/null >/dev/null 2>&1 &
setup_pid=$!
w=$(dlg Welcome) && [ -n "$w" ] || { fail "no welcome dialog"; exit 1; }
press_key "$w" Return
w=$(dlg "Setup options") && [ -n "$w" ] || { fail "no options dialog"; exit 1; }
press_key "$w" Return
progress="Setup in progress..."
dlg "$progress" >/dev/null
for _ in $(seq 120); do
  [ "$(ctl enabled "$progress" 1)" = 1 ] && break
  sleep 0.5
done
ctl text "$progress" 101 >"$work/log.txt"
ctl text "$progress" 102 >"$work/status.txt"
sys='C:\windows\system32\'
docs='C:\Program Files\QRVXDocs\'
{
  printf '%s\n' "Setup options:" "    * Install QRVX COM library to: $sys" \
    "    * Install QRVX reference to: $docs" "    * Create shortcuts in Start menu" "" \
    "Setup log:" "Creating directory \"$docs\"... Ok" "Extracting files to \"$docs\":" \
    "    Readme.txt ...  Ok" "    Default.htm ...  Ok" "    Upload.htm ...  Ok" \
    "    Upload.asp ...  Ok" "Extracting files to \"$sys\":" "    qrvx.dll ...  Ok" \
    "    QRVXUnst.exe ...  Ok" "Creating links... Ok" "Configuring uninstaller... Ok" \
    "Registering QRVX COM library... Ok" "Updating registry... Ok" "" \
    "Setup was finished sucessfuly."
} >"$work/expected.txt"
printf '\n' >>"$work/log.txt"
cmp -s "$work/log.txt" "$work/expected.txt" ||
  fail "setup log differs: $(diff "$work/expected.txt" "$work/log.txt")"
[ "$(cat "$work/status.txt")" = "  Setup was finished sucessfuly." ] ||
  fail "status line: $(cat "$work/status.txt")"
# "OK" ends the program: the progress dialog has no dialog-key handling, so
# it is clicked.
xy=$(ctl point "$progress" 1)
xdotool mousemove $xy click 1
for _ in $(seq 60); do kill -0 $setup_pid 2>/dev/null || break; sleep 0.5; done
kill -0 $setup_pid 2>/dev/null && fail "setup did not end after OK"

c="$WINEPREFIX/drive_c"
for f in windows/system32/qrvx.dll windows/system32/QRVXUnst.exe windows/system32/QRVXUnst.dat \
  "Program Files/QRVXDocs/Readme.txt" "Program Files/QRVXDocs/Upload.asp"; do
  [ -f "$c/$f" ] || fail "not installed: $f"
done
links=$(find "$c/users" -path '*Programs/Quorvex/*.lnk' | wc -l)
[ "$links" -eq 3 ] || fail "$links shortcuts in the program group"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QRVX'
wine reg query "$uninstall" 2>/dev/null | tr -d '\r' >"$work/key.txt"
grep -qF "DisplayName    REG_SZ    Quorvex v2.0" "$work/key.txt" || fail "DisplayName"
grep -qF "UninstallString    REG_SZ    ${sys}QRVXUnst.exe" "$work/key.txt" || fail "UninstallString"
wine reg query 'HKCR\QRVX.Acceptor\Clsid' >/dev/null 2>&1 || fail "QRVX.Acceptor not registered"

# A body as a browser posts it to Upload.asp.
printf -- '--XyZ\r\nContent-Disposition: form-data; name="title"\r\n\r\nReport\r\n--XyZ\r\nContent-Disposition: form-data; name="note"\r\n\r\ntwo words\r\n--XyZ\r\nContent-Disposition: form-data; name="file"; filename="C:\\docs\\hello.txt"\r\nContent-Type: text/plain\r\n\r\nhello world\r\n--XyZ--\r\n' |
  od -An -tx1 -v | tr -d ' \n' >"$work/body.hex"
vbs_suite wine "$work/upload" "$here/upload.vbs" -- "$(winpath "$work/body.hex")"

# The installed uninstaller: "Yes" to its question, then its summary.
wine "C:\\windows\\system32\\QRVXUnst.exe" </dev/null >/dev/null 2>&1 &
unst_pid=$!
w=$(dlg "QRVX Setup") && [ -n "$w" ] || { fail "no uninstall question"; exit 1; }
press_key "$w" Return
w=$(dlg "Uninstal summary...") && [ -n "$w" ] || { fail "no uninstall summary"; exit 1; }
summary=$(ctl text "Uninstal summary..." 65535)
printf "%s\n" "$summary" | grep -q "Quorvex" || fail "summary: $summary"
press_key "$w" Return
for _ in $(seq 60); do kill -0 $unst_pid 2>/dev/null || break; sleep 0.5; done
for f in windows/system32/qrvx.dll windows/system32/QRVXUnst.dat "Program Files/QRVXDocs"; do
  [ -e "$c/$f" ] && fail "not removed: $f"
done
[ "$(find "$c/users" -path '*Programs/Quorvex*' | wc -l)" -eq 0 ] || fail "program group left"
wine reg query "$uninstall" >/dev/null 2>&1 && fail "uninstall key left"
wine reg query 'HKCR\QRVX.Acceptor' >/dev/null 2>&1 && fail "QRVX.Acceptor still registered"
[ $status -eq 0 ] && echo "wine_setup: passed"
exit $status
