#!/bin/sh
# Runs Debian's lighttpd in the foreground on 127.0.0.1 with `qrvx cgi`
# behind it:
#   lighttpd.sh QRVX WORKDIR PORT [NAME=VALUE ...]
# WORKDIR receives the configuration, the document root, the server's error
# log and cgi-stderr.log, what the CGI program wrote to standard error.
# The NAME=VALUE settings (QRVX_UPLOAD_DIR, QRVX_CHARSET, ...) reach the CGI
# program through its wrapper. /upload.cgi (also /) is QRVX;
# /discard.cgi reads a body and throws it away, a yardstick for the server's
# own cost.
set -eu
qrvx=$1 work=$2 port=$3
shift 3
mkdir -p "$work/www" "$work/tmp"

# Quotes a value for sh: 'it'\''s'.
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }

{
  echo '#!/bin/sh'
  for kv in "$@"; do
    echo "export ${kv%%=*}=$(quote "${kv#*=}")"
  done
  echo "exec $(quote "$qrvx") cgi 2>>$(quote "$work/cgi-stderr.log")"
} > "$work/www/upload.cgi"
cat > "$work/www/discard.cgi" <<'CGI'
#!/bin/sh
head -c "${CONTENT_LENGTH:-0}" > /dev/null
printf 'Status: 200 OK\r\nContent-Type: text/plain\r\n\r\ndiscarded\n'
CGI
chmod 755 "$work/www/upload.cgi" "$work/www/discard.cgi"

cat > "$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/error.log"
server.upload-dirs = ( "$work/tmp" )
# The body goes to the CGI program as it arrives, not buffered to disk first.
server.stream-request-body = 2
# In KB; the CGI program applies its own, lower limit.
server.max-request-size = 4194304
server.modules += ( "mod_cgi" )
index-file.names = ( "upload.cgi" )
cgi.assign = ( ".cgi" => "" )
CONF
exec lighttpd -D -f "$work/lighttpd.conf"
