# The VBScript suites under Wine, for the harness scripts that source this
# file (they define fail and winpath, and set vbs_support to this folder).
#
# vbs_suite RUN OUT SCRIPT... -- ARGS...
#   joins checks.vbs and the scripts into OUT.vbs, runs it through cscript
#   with the command prefix RUN and the arguments ARGS, keeps its output in
#   OUT.out and prints it; the run must exit with 0 and end with the line
#   "N passed, 0 failed", which the suite's Done prints only when every
#   planned check ran and passed.
vbs_suite() {
  vbs_run=$1 vbs_out=$2
  shift 2
  cat "$vbs_support/checks.vbs" >"$vbs_out.vbs" || fail "no $vbs_support/checks.vbs"
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    cat "$1" >>"$vbs_out.vbs" || fail "no $1"
    shift
  done
  [ $# -gt 0 ] && shift
  $vbs_run cscript //nologo "$(winpath "$vbs_out.vbs")" "$@" </dev/null >"$vbs_out.out" 2>&1
  vbs_code=$?
  vbs_text=$(tr -d '\r' <"$vbs_out.out")
  printf "%s\n" "$vbs_text"
  [ $vbs_code -eq 0 ] || fail "$vbs_out.vbs: cscript exit code $vbs_code"
  printf "%s\n" "$vbs_text" | tail -n 1 | grep -qx "[0-9][0-9]* passed, 0 failed" ||
    fail "$vbs_out.vbs did not end with 'N passed, 0 failed'"
}
