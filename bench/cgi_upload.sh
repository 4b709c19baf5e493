#!/bin/sh
# Throughput of one 100 MB upload through lighttpd and `qrvx cgi` (read,
# ProcessRequest, SHA-256 through FileRead, FileSaveTo), next to the same
# server handing the same bytes to a CGI program that only reads and
# discards them:
#   bench/cgi_upload.sh QRVX [RUNS]
# Traffic stays on 127.0.0.1; the server is stopped at the end.
set -eu
qrvx=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qrvx-bench.XXXXXX")
mkdir "$work/uploads"
head -c 104857600 /dev/urandom > "$work/big.bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
PATH="$PATH:/usr/sbin" sh "$here/tools/serve/lighttpd.sh" "$qrvx" "$work" "$port" \
  "QRVX_UPLOAD_DIR=$work/uploads" > "$work/server.out" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
i=0
until curl -s -o /dev/null "http://127.0.0.1:$port/discard.cgi" || [ $i -ge 100 ]; do
  sleep 0.1
  i=$((i + 1))
done

# Best of RUNS: seconds for one POST of the file to PATH.
best() {
  b=
  for _ in $(seq "$runs"); do
    rm -f "$work/uploads/"*
    t=$(curl -s -o /dev/null -w '%{time_total}' -H 'Accept: application/json' \
      -F "file=@$work/big.bin" "http://127.0.0.1:$port/$1")
    b=$(echo "$t ${b:-$t}" | awk '{print ($1 < $2) ? $1 : $2}')
  done
  echo "$b"
}
discard=$(best discard.cgi)
qrvx_t=$(best upload.cgi)
[ -s "$work/uploads/big.bin" ] && cmp -s "$work/uploads/big.bin" "$work/big.bin" || {
  echo "the upload was not saved intact" >&2
  exit 1
}
awk -v d="$discard" -v q="$qrvx_t" 'BEGIN {
  printf "100 MB upload, best of runs (s): discard CGI %.3f (%.0f MB/s), qrvx cgi %.3f (%.0f MB/s), ratio %.2f\n",
    d, 100 / d, q, 100 / q, q / d }'
