#!/usr/bin/python3
"""qrvx cgi behind Debian's lighttpd on 127.0.0.1, end to end.

  cgi_test.py QRVX WORKDIR

Headless Chromium (Debian's, driven by playwright-core) fills and submits the
upload form: Latin and Cyrillic fields, a text file, a ZIP with a table in
it, a table and a 100 MB file, in UTF-8 and again in windows-1251; the answer
page and the saved files are checked byte for byte against what was posted.
Through the same servers with curl: 20 uploads at once, every error status,
an upload cut off midway, a body at the limit and one byte over.

Exits 77 (skipped) only when lighttpd, curl, node, chromium or the
playwright-core module is not installed; scripts/deps installs them all.
"""
import hashlib
import html.parser
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")
SKIP = 77
BIG_SIZE = 100 * 1024 * 1024
SMALL_LIMIT = 1_000_000

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def missing_tools():
    missing = [t for t in ("lighttpd", "curl", "node") if not shutil.which(t, path=os.environ.get("PATH", "") + ":/usr/sbin")]
    if not os.access(os.environ.get("QRVX_CHROMIUM", "/usr/bin/chromium"), os.X_OK):
        missing.append("chromium")
    if not os.path.isdir(os.path.join(HERE, "node_modules", "playwright-core")):
        missing.append("playwright-core (npm ci in tests/cgi)")
    return missing


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """lighttpd with qrvx cgi behind it, on a free port; stopped by stop()."""

    def __init__(self, qrvx, work, settings):
        self.work = work
        self.uploads = settings.get("QRVX_UPLOAD_DIR", "")
        os.makedirs(work, exist_ok=True)
        script = os.path.join(HERE, "..", "..", "tools", "serve", "lighttpd.sh")
        args = [f"{k}={v}" for k, v in settings.items()]
        for _ in range(5):  # another process may take the port first
            self.port = free_port()
            log = open(os.path.join(work, "lighttpd.out"), "w")
            self.proc = subprocess.Popen(["sh", script, qrvx, work, str(self.port)] + args,
                                         stdout=log, stderr=subprocess.STDOUT,
                                         env=dict(os.environ, PATH=os.environ["PATH"] + ":/usr/sbin"))
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and self.proc.poll() is None:
                try:
                    socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                    self.url = f"http://127.0.0.1:{self.port}/upload.cgi"
                    return
                except OSError:
                    time.sleep(0.1)
            self.stop()
        raise RuntimeError("lighttpd did not start; see " + work)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)

    def saved(self):
        """Every entry of the upload directory (temporary files included)."""
        return sorted(os.listdir(self.uploads)) if os.path.isdir(self.uploads) else []

    def clear(self):
        for name in self.saved():
            os.unlink(os.path.join(self.uploads, name))


class ResultPage(html.parser.HTMLParser):
    """Rows of the answer page's tables: {table id or caption: [[cells]]}."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables, self.current, self.cell, self.heading = {}, None, None, ""
        self.in_heading = False
        self.error = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "table":
            key = a.get("id") or self.heading
            self.current = self.tables.setdefault(key, [])
        elif tag == "tr" and self.current is not None:
            self.current.append([])
        elif tag in ("td", "th") and self.current is not None:
            self.cell = ""
        elif tag == "h3":
            self.in_heading, self.heading = True, ""
        elif tag == "p" and a.get("id") == "error":
            self.error = ""

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.current[-1].append(self.cell)
            self.cell = None
        elif tag == "table":
            self.current = None
        elif tag == "h3":
            self.in_heading = False

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
        elif self.in_heading:
            self.heading += data
        elif self.error is not None and self.error == "":
            self.error = data


def parse_page(raw):
    p = ResultPage()
    p.feed(raw.decode("utf-8"))
    return p


def curl(args, timeout=120):
    r = subprocess.run(["curl", "-sS", "-o", "-", "-w", "\n%{http_code}"] + args,
                       capture_output=True, timeout=timeout)
    body, _, code = r.stdout.rpartition(b"\n")
    return int(code or 0), body


def dbf_rows(path, encoding):
    """The table's rows as qrvx prints them, read by python3-dbfread."""
    import dbfread
    out = []
    for rec in dbfread.DBF(path, encoding=encoding, char_decode_errors="replace"):
        row = []
        for v in rec.values():
            if v is None:
                row.append("")
            elif hasattr(v, "isoformat"):
                row.append(v.isoformat())
            elif isinstance(v, bool):
                row.append("true" if v else "false")
            else:
                row.append(v if isinstance(v, str) else repr(v))
        out.append(row)
    return out


def cells_equal(got, want):
    if got == want:
        return True
    try:
        return abs(float(got) - float(want)) <= 1e-9 * max(1.0, abs(float(want)))
    except ValueError:
        return False


def write_table(path):
    """A dBase III table with Cyrillic text in code page 1251."""
    fields = [(b"NAME", b"C", 24, 0), (b"SALARY", b"N", 10, 2), (b"HIRED", b"D", 8, 0)]
    rows = [("Иванов Пётр", "1234.50", "20010203"), ("Smith & <Co>", "-7.25", "19991231"),
            ("Щукина Ёлка", "0.00", "20240229")]
    rec_len = 1 + sum(f[2] for f in fields)
    head_len = 32 + 32 * len(fields) + 1
    # Byte 29, the language byte, 0x57: text in the Windows ANSI code page.
    out = bytearray(bytes([3, 124, 1, 2]) + struct.pack("<IHH", len(rows), head_len, rec_len) +
                    bytes(17) + b"\x57" + bytes(2))
    for name, kind, length, dec in fields:
        out += name.ljust(11, b"\0") + kind + bytes(4) + bytes([length, dec]) + bytes(14)
    out += b"\r"
    for row in rows:
        out += b" "
        for (name, kind, length, dec), v in zip(fields, row):
            b = v.encode("cp1251")
            out += b.rjust(length) if kind == b"N" else b.ljust(length)
    out += b"\x1a"
    with open(path, "wb") as f:
        f.write(out)


def make_inputs(work):
    """The files a person posts: text, ZIP with a table, a table, 100 MB."""
    d = os.path.join(work, "inputs")
    os.makedirs(d, exist_ok=True)
    files = {}
    files["text"] = os.path.join(d, "Notes.txt")
    with open(files["text"], "wb") as f:
        f.write("Line one\r\nСтрока два\r\n\x00tail\n".encode("utf-8"))
    files["zip"] = os.path.join(d, "Tables.zip")
    with zipfile.ZipFile(files["zip"], "w", zipfile.ZIP_DEFLATED) as z:
        z.write(os.path.join(DATA, "dbf", "people.dbf"), "data/people.dbf")
        z.writestr("readme.txt", b"A table inside an archive.\r\n" * 40)
    files["table"] = os.path.join(d, "Staff.DBF")
    write_table(files["table"])
    files["big"] = os.path.join(d, "big.bin")
    if not os.path.exists(files["big"]) or os.path.getsize(files["big"]) != BIG_SIZE:
        with open(files["big"], "wb") as f:
            seed = hashlib.sha256(b"qrvx").digest()
            block = b"".join(hashlib.sha256(seed + bytes([i])).digest() for i in range(256))
            for i in range(BIG_SIZE // len(block)):
                f.write(block[i % 251:] + block[:i % 251])
    return files


def run_browser(url, plan, work, name):
    plan_file = os.path.join(work, name + ".plan.json")
    result = os.path.join(work, name + ".html")
    with open(plan_file, "w", encoding="utf-8") as f:
        json.dump(plan, f, ensure_ascii=False)
    r = subprocess.run(["node", os.path.join(HERE, "browser.mjs"), url, plan_file, result],
                       capture_output=True, text=True, timeout=300)
    if not check(r.returncode == 0 and "status 200" in r.stdout, f"{name}: the browser posted the form"):
        print(r.stdout, r.stderr)
        return None
    with open(result, "rb") as f:
        return f.read()


def check_files(server, page, expected, name):
    """expected: [(file name, path, field, local file with the same bytes)]."""
    rows = page.tables.get("files", [])[1:]
    check(len(rows) == len(expected), f"{name}: {len(expected)} files listed (got {len(rows)})")
    for (fname, fpath, field, local), row in zip(expected, rows):
        got_name, got_path, got_field, size, digest, saved = row
        check((got_name, got_path, got_field) == (fname, fpath, field),
              f"{name}: file {fname!r} in {fpath!r} from field {field!r} (got {row[:3]})")
        check(int(size) == os.path.getsize(local) and digest == sha256(local),
              f"{name}: {fname}: size and SHA-256 as posted")
        target = os.path.join(server.uploads, saved)
        check(os.path.isfile(target) and sha256(target) == sha256(local),
              f"{name}: {fname}: saved as {saved!r} byte for byte")


def browser_utf8(server, files, work):
    name, comment = "Hello, World & <friends>", "Привет, мир!\nВторая строка «ё»"
    raw = run_browser(server.url, {
        "fields": {"Customer": name, "Comment": comment},
        "files": {"Attachment": files["text"], "Attachment2": files["big"], "Archive": files["zip"],
                  "Table": files["table"]}}, work, "browser-utf8")
    if raw is None:
        return
    page = parse_page(raw)
    check(b"Hello, World &amp; &lt;friends&gt;" in raw, "browser-utf8: echoed text is HTML-escaped")
    fields = page.tables.get("fields", [])[1:]
    # A textarea's line breaks are posted as CR LF (HTML form submission).
    check(fields == [["customer", name], ["comment", comment.replace("\n", "\r\n")]],
          f"browser-utf8: Latin and Cyrillic fields as typed (got {fields})")
    readme = os.path.join(os.path.dirname(files["text"]), "readme.txt")
    people = os.path.join(os.path.dirname(files["text"]), "people.dbf")
    with zipfile.ZipFile(files["zip"]) as z:
        with open(readme, "wb") as f:
            f.write(z.read("readme.txt"))
        with open(people, "wb") as f:
            f.write(z.read("data/people.dbf"))
    check_files(server, page, [
        ("notes.txt", "", "attachment", files["text"]),
        ("big.bin", "", "attachment2", files["big"]),
        ("tables.zip", "", "archive", files["zip"]),
        ("people.dbf", "", "archive", people),
        ("readme.txt", "", "archive", readme),
        ("staff.dbf", "", "table", files["table"]),
    ], "browser-utf8")
    for title, local, enc in (("people (field archive, 2 rows)", people, "ascii"),
                              ("staff (field table, 3 rows)", files["table"], "cp1251")):
        rows = page.tables.get(title)
        want = dbf_rows(local, enc)
        ok = rows is not None and len(rows) == len(want) + 1 and all(
            len(g) == len(w) and all(cells_equal(a, b) for a, b in zip(g, w))
            for g, w in zip(rows[1:], want))
        check(ok, f"browser-utf8: table {title} as python3-dbfread reads it")


def browser_1251(server, files, work):
    cyr = os.path.join(os.path.dirname(files["text"]), "Отчёт.txt")
    with open(cyr, "wb") as f:
        f.write("Отчёт\r\n".encode("cp1251"))
    comment = "Съешь же ещё этих мягких французских булок"
    raw = run_browser(server.url, {"fields": {"Customer": "Ivan", "Comment": comment},
                                   "files": {"Attachment": cyr, "Table": files["table"]}},
                      work, "browser-1251")
    if raw is None:
        return
    page = parse_page(raw)
    fields = page.tables.get("fields", [])[1:]
    # File inputs left empty are posted with an empty file name: variables.
    check(fields == [["customer", "Ivan"], ["comment", comment], ["attachment2", ""], ["archive", ""]],
          f"browser-1251: Cyrillic field posted in windows-1251 (got {fields})")
    # Names are folded to lower case in both alphabets.
    check_files(server, page, [("отчёт.txt", "", "attachment", cyr),
                               ("staff.dbf", "", "table", files["table"])], "browser-1251")
    rows = page.tables.get("staff (field table, 3 rows)")
    want = dbf_rows(files["table"], "cp1251")
    check(rows is not None and len(rows) == len(want) + 1 and all(
        all(cells_equal(a, b) for a, b in zip(g, w)) for g, w in zip(rows[1:], want)),
        "browser-1251: Cyrillic table cells")


def concurrent_uploads(server, work):
    server.clear()
    d = os.path.join(work, "parallel")
    os.makedirs(d, exist_ok=True)
    procs = []
    for k in range(20):
        p = os.path.join(d, f"part{k}")
        with open(p, "wb") as f:
            f.write(hashlib.sha256(str(k).encode()).digest() * (2000 + 997 * k))
        procs.append((k, p, subprocess.Popen(
            ["curl", "-sS", "-H", "Accept: application/json", "-F", f"id={k}",
             "-F", f"upload=@{p};filename=same.txt", server.url],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)))
    saved = set()
    for k, p, proc in procs:
        out, err = proc.communicate(timeout=120)
        try:
            doc = json.loads(out)
            ok = (doc["variables"] == [{"name": "id", "value": str(k)}]
                  and len(doc["files"]) == 1 and doc["files"][0]["sha256"] == sha256(p)
                  and sha256(doc["files"][0]["saved_to"]) == sha256(p))
            saved.add(doc["files"][0]["saved_to"])
        except (ValueError, KeyError, OSError):
            ok = False
        check(ok, f"parallel: upload {k} answered and saved with its own bytes")
    check(len(saved) == 20 and len(server.saved()) == 20,
          f"parallel: 20 distinct files saved (dir holds {len(server.saved())})")


def multipart(boundary, fields, pad_to=None):
    """A body with text fields; with pad_to, the last value is padded to it."""
    parts = [b"--" + boundary + b"\r\nContent-Disposition: form-data; name=\"" + k.encode() +
             b"\"" + (b"; filename=\"" + fn.encode() + b"\"" if fn else b"") + b"\r\n\r\n" + v +
             b"\r\n" for k, fn, v in fields]
    body = b"".join(parts) + b"--" + boundary + b"--\r\n"
    if pad_to is not None:
        k, fn, v = fields[-1]
        v += b"x" * (pad_to - len(body))
        return multipart(boundary, fields[:-1] + [(k, fn, v)])
    return body


def post_raw(server, body, content_type, length=None, send=None, wait_answer=True):
    """Sends a POST over a plain socket; send limits how much of body goes out."""
    head = (f"POST /upload.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: {content_type}\r\n"
            f"Content-Length: {len(body) if length is None else length}\r\nConnection: close\r\n\r\n")
    with socket.create_connection(("127.0.0.1", server.port), timeout=60) as s:
        s.sendall(head.encode() + body[:send])
        if not wait_answer:
            return 0, b""
        data = b""
        while len(data) < 10 * 1024 * 1024:  # bounded: answers are small
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    status = int(data.split(b" ", 2)[1]) if data.startswith(b"HTTP/") else 0
    return status, data


def settle(server):
    """Waits (bounded) until no temporary file is left in the upload directory."""
    for _ in range(100):
        if not any(n.startswith(".") for n in server.saved()):
            return
        time.sleep(0.05)


def error_statuses(server, bad_dir_server, work):
    server.clear()
    for method in ("PUT", "DELETE"):
        code, body = curl(["-X", method, "--data-binary", "x", server.url])
        check(code == 405, f"errors: {method} gives 405 (got {code})")
    code, body = curl(["-d", "a=<b>", server.url])
    check(code == 415, f"errors: a urlencoded form gives 415 (got {code})")
    code, body = curl(["-H", "Content-Type: text/<script>", "--data-binary", "x", server.url])
    check(code == 415 and b"<script>" not in body and b"text/&lt;script&gt;" in body,
          "errors: the content type is echoed HTML-escaped")
    body = multipart(b"b0", [("a", None, b"1"), ("f", "f.txt", b"data" * 1000)])
    status, _ = post_raw(server, body, "multipart/form-data; boundary=b0", length="12x")
    check(status == 400, f"errors: a Content-Length that is not a number gives 400 (got {status})")
    # Cut off midway: the client closes after half the announced body.
    big = multipart(b"b1", [("f", "cut.bin", os.urandom(600_000))])
    post_raw(server, big, "multipart/form-data; boundary=b1", send=len(big) // 2, wait_answer=False)
    settle(server)
    check(server.saved() == [], f"errors: nothing saved of the cut-off upload ({server.saved()})")
    code, body = curl(["-F", "f=@" + os.path.join(DATA, "dbf", "people.dbf"), bad_dir_server.url])
    check(code == 500 and b"upload directory" in body,
          f"errors: an upload directory that cannot be written gives 500 (got {code})")
    code, body = curl(["-F", "x=1", server.url])
    check(code == 200, f"errors: the server still serves after them (got {code})")
    server.clear()


def limits(server, work):
    server.clear()
    b = b"lim"
    at = multipart(b, [("n", None, b"1"), ("f", "at.bin", b"")], pad_to=SMALL_LIMIT)
    over = multipart(b, [("n", None, b"1"), ("f", "over.bin", b"")], pad_to=SMALL_LIMIT + 1)
    check(len(at) == SMALL_LIMIT and len(over) == SMALL_LIMIT + 1, "limits: bodies of limit and limit + 1 bytes")
    for body, name in ((at, "at"), (over, "over")):
        with open(os.path.join(work, name + ".body"), "wb") as f:
            f.write(body)
    code, _ = curl(["-H", "Content-Type: multipart/form-data; boundary=lim",
                    "--data-binary", "@" + os.path.join(work, "at.body"), server.url])
    check(code == 200 and server.saved() == ["at.bin"], f"limits: a body at the limit is received ({code})")
    server.clear()
    code, body = curl(["-H", "Content-Type: multipart/form-data; boundary=lim",
                       "--data-binary", "@" + os.path.join(work, "over.body"), server.url])
    check(code == 413 and server.saved() == [], f"limits: one byte over gives 413, nothing saved ({code})")
    # A huge announced body is refused at once, before any of it is sent.
    t = time.monotonic()
    status, _ = post_raw(server, b"", "multipart/form-data; boundary=x", length=2_000_000_000)
    check(status == 413 and time.monotonic() - t < 30,
          f"limits: 2 GB announced gives 413 without the body (got {status})")
    server.clear()


def direct(qrvx, work):
    """qrvx cgi run without a server, for what a server hardly lets through."""
    up = os.path.join(work, "direct")
    os.makedirs(up, exist_ok=True)

    def run(env, body=b""):
        base = {"PATH": os.environ["PATH"], "QRVX_UPLOAD_DIR": up, "SCRIPT_NAME": "/u.cgi"}
        r = subprocess.run([qrvx, "cgi"], input=body, env=dict(base, **env),
                           capture_output=True, timeout=60)
        head, _, rest = r.stdout.partition(b"\r\n\r\n")
        status = int(head.split(b" ")[1]) if head.startswith(b"Status: ") else 0
        return status, head, rest

    status, head, rest = run({"REQUEST_METHOD": "HEAD"})
    check(status == 200 and rest == b"" and b"Content-Length: " in head, "direct: HEAD answers headers only")
    post = {"REQUEST_METHOD": "POST", "CONTENT_TYPE": "multipart/form-data; boundary=q"}
    status, head, rest = run(post)
    check(status == 411, f"direct: no Content-Length gives 411 (got {status})")
    status, head, rest = run(dict(post, CONTENT_LENGTH="99999999999999999999"))
    check(status == 400, f"direct: an overlong Content-Length gives 400 (got {status})")
    status, head, rest = run(dict(post, CONTENT_LENGTH="5", QRVX_MAX_BODY="lots"))
    check(status == 500 and b"QRVX_MAX_BODY" in rest, "direct: a bad setting gives 500 naming it")
    status, head, rest = run(dict(post, CONTENT_LENGTH="5", QRVX_CHARSET="koi8-r"))
    check(status == 500 and b"QRVX_CHARSET" in rest, "direct: an unknown charset gives 500")
    status, head, rest = run({"REQUEST_METHOD": "PATCH", "HTTP_ACCEPT": "application/json"})
    check(status == 405 and b"Allow: GET, HEAD, POST" in head and json.loads(rest)["status"] == 405,
          "direct: 405 with Allow, as JSON when asked")
    name = '<img src=x onerror="a()">.txt'
    body = multipart(b"q", [("v<1>", None, b"<script>&"), ("f", name, b"abc")])
    status, head, rest = run(dict(post, CONTENT_LENGTH=str(len(body))), body)
    check(status == 200 and b"<script>" not in rest and b"&lt;script&gt;&amp;" in rest
          and b"<img" not in rest and b"v&lt;1&gt;" in rest, "direct: names and values HTML-escaped")
    check(len(os.listdir(up)) == 1,
          f"direct: the file saved under one safe name ({os.listdir(up)})")
    for n in os.listdir(up):
        check("/" not in n and not n.startswith("."), "direct: saved name is one visible path component")
        os.unlink(os.path.join(up, n))
    # The server stops the program (SIGTERM) right after the whole body went
    # in, as when the client goes away: whenever it lands, nothing stays.
    body = multipart(b"q", [("f", f"s{k}.bin", os.urandom(4_000_000)) for k in range(5)])
    env = {"PATH": os.environ["PATH"], "QRVX_UPLOAD_DIR": up, "REQUEST_METHOD": "POST",
           "CONTENT_TYPE": "multipart/form-data; boundary=q", "CONTENT_LENGTH": str(len(body))}
    proc = subprocess.Popen([qrvx, "cgi"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, env=env)
    proc.stdin.write(body)
    proc.stdin.flush()
    proc.terminate()
    proc.communicate(timeout=60)
    check(os.listdir(up) == [], f"direct: a request stopped by SIGTERM leaves nothing ({os.listdir(up)})")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    qrvx, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    missing = missing_tools()
    if missing:
        print("skipped: not installed: " + ", ".join(missing) + " (scripts/deps installs them)")
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    files = make_inputs(work)
    servers = []
    try:
        def start(name, **settings):
            up = os.path.join(work, name, "uploads")
            os.makedirs(up, exist_ok=True)
            settings.setdefault("QRVX_UPLOAD_DIR", up)
            s = Server(qrvx, os.path.join(work, name), settings)
            servers.append(s)
            return s
        utf8 = start("utf8", QRVX_CHARSET="utf-8", LANG="ru_RU.UTF-8")
        cp1251 = start("cp1251", QRVX_CHARSET="windows-1251", QRVX_MAX_BODY=str(SMALL_LIMIT))
        bad = start("baddir", QRVX_UPLOAD_DIR=os.path.join(work, "no", "such", "dir"))
        direct(qrvx, work)
        code, form = curl([utf8.url])
        check(code == 200 and b'enctype="multipart/form-data"' in form and b'charset="utf-8"' in form,
              "form: GET serves the form in UTF-8")
        code, form = curl(["-i", cp1251.url])
        check(code == 200 and b"charset=windows-1251" in form and b'accept-charset="windows-1251"' in form,
              "form: GET serves the form in windows-1251")
        browser_utf8(utf8, files, os.path.join(work, "utf8"))
        browser_1251(cp1251, files, os.path.join(work, "cp1251"))
        concurrent_uploads(utf8, work)
        error_statuses(utf8, bad, work)
        limits(cp1251, work)
    finally:
        for s in servers:
            s.stop()
    for s in servers:
        log = os.path.join(s.work, "cgi-stderr.log")
        text = open(log, errors="replace").read() if os.path.exists(log) else ""
        check("Sanitizer" not in text and "runtime error" not in text,
              f"{os.path.basename(s.work)}: qrvx cgi reported no fault on standard error")
    print(f"{len(failures)} failed" if failures else "all passed")
    if not failures:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
