#!/usr/bin/python3
"""A scripted HTTP server on 127.0.0.1 for the HTTP client's tests (Python standard library only).

Prints "PORT <n>" once it listens, then "REQUEST <hex>" with the exact bytes of every request it reads
(request line, header and a body of Content-Length bytes). The answer depends on the path:
  /ok             200 with the body "received"
  /empty          HTTP/1.1 200 with Content-Length: 0, then the connection stays open until the client
                  closes it
  /html           no status line or header: "<HtMl>..." is the whole answer
  /long           a header line of 8192 bytes, then silence
  /silent         no answer; waits for the client to give up
  /moved          302 to "/target.htm" (with a body)
  /dir/rel        302 to "target.htm" (relative to the folder)
  /abs            302 to "http://127.0.0.1:<port>/target.htm"
  /loop/N         302 to "/loop/N+1", for ever
  /bad            400 with the body "missing field ID"
  /cookie         200 with two Set-Cookie lines
  /auth           200 "welcome" for "Authorization: Basic dXNlcjpwYXNz" (user:pass), else 401 with a body
  /target.htm, /dir/target.htm   200 "target page"
  /reply/TEXT     200 with the body TEXT (the weather posts' replies)
  /drop           reads the request and closes without an answer
  anything else   404
"""
import argparse
import socket
import socketserver
import sys
import threading

LOCK = threading.Lock()
PORT = 0


def log(line):
    with LOCK:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data and b"\n\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return data
        data += chunk
    end = data.find(b"\r\n\r\n")
    end = end + 4 if end >= 0 else data.find(b"\n\n") + 2
    length = 0
    for line in data[:end].split(b"\n"):
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(data) < end + length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


def wait_for_close(conn, seconds):
    conn.settimeout(seconds)
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


def status(code, reason, headers, body):
    head = "HTTP/1.0 %d %s\r\n" % (code, reason) + "".join(h + "\r\n" for h in headers) + "\r\n"
    return head.encode() + body


def redirect(location):
    return status(302, "Found", ["Location: " + location, "Content-Type: text/html"], b"<a>moved</a>")


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        data = read_request(conn)
        if not data:
            return
        log("REQUEST " + data.hex())
        line = data.split(b"\n", 1)[0].decode("latin-1").split(" ")
        path = line[1].split("?", 1)[0] if len(line) > 1 else "/"
        if path == "/ok":
            conn.sendall(status(200, "OK", ["Content-Type: text/plain"], b"received"))
        elif path == "/empty":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
            wait_for_close(conn, 20)
        elif path == "/html":
            conn.sendall(b"<HtMl><body>\r\nline two\n</body></html>\n")
        elif path == "/long":
            conn.sendall(b"HTTP/1.0 200 OK\r\nX-Long: " + b"a" * 8192 + b"\r\n\r\nbody")
            wait_for_close(conn, 20)
        elif path == "/silent":
            wait_for_close(conn, 30)
        elif path == "/moved":
            conn.sendall(redirect("/target.htm"))
        elif path == "/dir/rel":
            conn.sendall(redirect("target.htm"))
        elif path == "/abs":
            conn.sendall(redirect("http://127.0.0.1:%d/target.htm" % PORT))
        elif path.startswith("/loop/"):
            conn.sendall(redirect("/loop/%d" % (int(path[6:]) + 1)))
        elif path == "/bad":
            conn.sendall(status(400, "Bad Request", ["Content-Type: text/plain"], b"missing field ID"))
        elif path == "/cookie":
            conn.sendall(status(200, "OK", ["Set-Cookie: a=1; path=/", "Set-Cookie: b=2"], b"fed"))
        elif path == "/auth":
            if b"\r\nAuthorization: Basic dXNlcjpwYXNz\r\n" in data:
                conn.sendall(status(200, "OK", [], b"welcome"))
            else:
                conn.sendall(status(401, "Unauthorized", ['WWW-Authenticate: Basic realm="wx"'], b"login first"))
        elif path.startswith("/reply/"):
            conn.sendall(status(200, "OK", ["Content-Type: text/plain"], path[7:].encode("latin-1")))
        elif path == "/drop":
            pass
        elif path in ("/target.htm", "/dir/target.htm"):
            conn.sendall(status(200, "OK", ["Content-Type: text/html"], b"target page"))
        else:
            conn.sendall(status(404, "Not Found", [], b"not here"))
        try:
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global PORT
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    with Server(("127.0.0.1", args.port), Handler) as server:
        PORT = server.server_address[1]
        log("PORT %d" % PORT)
        server.serve_forever()


if __name__ == "__main__":
    main()
