#!/usr/bin/python3
"""A scripted FTP server on 127.0.0.1 for the FTP client's tests (Python standard library only).

Prints "PORT <n>" once it listens, then "CMD <line>" for every command it reads, "STORED <name> <size>"
when an upload's data connection has closed, and "FOREIGN <closed|open>" in the foreign mode. Uploads are
written into --root. The mode changes one thing of an otherwise plain server:
  normal        220, USER 331, PASS 230, CWD 250, PWD 257, TYPE 200, PASV 227 (..), PORT 200, STOR 150..226,
                RETR 150..226, QUIT 221; in active mode the server connects to the client before it answers 150
  multiline     RFC 959 multi-line replies whose text lines start with digits; USER answers 230 (no PASS)
  pasv-noparen  227 without parentheses
  longline      CWD answers with one line of 5000 bytes
  refuse-stor   STOR answers 553
  echo-pass     PASS answers 230 with the command in its text
  refuse-pass   PASS answers 530 with the password in its text, as some servers echo it
  drop          STOR: 150, then after 1000 bytes both connections are dropped
  silent        CWD is never answered
  early226      STOR: 150 and 226 at once, then the data is read to its end
  active-late   active mode: the server connects 300 ms after its 150
  foreign       active mode: a connection from 127.0.0.2 comes first and must be turned away
  slow          active mode: a small receive buffer, read slowly; RETR sends slowly
  endless       USER is answered by a multi-line reply that never ends ("331-" lines until the client
                closes); prints "ENDLESS <lines>" with the lines it got out
"""
import argparse
import os
import socket
import socketserver
import sys
import threading
import time

LOCK = threading.Lock()
ARGS = None


def log(line):
    with LOCK:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


class Handler(socketserver.BaseRequestHandler):
    def reply(self, text):
        self.request.sendall(text.encode("latin-1") + b"\r\n")

    def read_line(self):
        while b"\n" not in self.pending:
            chunk = self.request.recv(4096)
            if not chunk:
                return None
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line.rstrip(b"\r").decode("latin-1")

    def handle(self):
        self.pending = b""
        self.pasv = None
        self.port = None
        mode = ARGS.mode
        if mode == "multiline":
            self.request.sendall(b"220-Welcome to the scripted server\r\n220-220 looks like the end\r\n"
                                 b"220 ready\r\n")
        else:
            self.reply("220 scripted ready")
        while True:
            line = self.read_line()
            if line is None:
                return
            log("CMD " + line)
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            if verb == "USER":
                if mode == "endless":
                    self.endless()
                    return
                if mode == "multiline":
                    self.request.sendall(b"230-Hello\r\n230-220 not the end\r\n331 nor this\r\n"
                                         b" 230 indented\r\n230 Logged in\r\n")
                else:
                    self.reply("331 Password please")
            elif verb == "PASS":
                if mode == "refuse-pass":
                    self.reply("530 Login incorrect for password " + arg)
                else:
                    self.reply("230 Logged in after " + line if mode == "echo-pass" else "230 Logged in")
            elif verb == "CWD":
                if mode == "longline":
                    self.reply("250 " + "x" * 4996)
                elif mode == "silent":
                    pass
                elif mode == "multiline":
                    self.request.sendall(b"250-Changing\r\n250-250- still text\r\n250 Done\r\n")
                else:
                    self.reply("250 Directory changed")
            elif verb == "PWD":
                self.reply('257 "/up ""quoted""" is current')
            elif verb == "TYPE":
                self.reply("200 Type set")
            elif verb == "PASV":
                self.open_passive(mode)
            elif verb == "PORT":
                parts = [int(p) for p in arg.split(",")]
                self.port = ("%d.%d.%d.%d" % tuple(parts[:4]), parts[4] * 256 + parts[5])
                self.reply("200 PORT ok")
            elif verb == "STOR":
                self.store(arg, mode)
                if mode == "drop":
                    return
            elif verb == "RETR":
                self.retrieve(arg, mode)
            elif verb == "QUIT":
                self.reply("221 Bye")
                return
            else:
                self.reply("502 Not implemented")

    def endless(self):
        lines = 0
        try:
            while True:
                self.request.sendall(b"331-and there is more to say\r\n" * 100)
                lines += 100
        except OSError:
            pass
        log("ENDLESS %d" % lines)

    def open_passive(self, mode):
        self.pasv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.pasv.bind(("127.0.0.1", 0))
        self.pasv.listen(1)
        p = self.pasv.getsockname()[1]
        # A bogus address: the client must connect to the control connection's peer instead.
        numbers = "10,0,0,5,%d,%d" % (p // 256, p % 256)
        if mode == "pasv-noparen":
            self.reply("227 Entering Passive Mode " + numbers)
        else:
            self.reply("227 Entering Passive Mode (" + numbers + ").")

    def connect_active(self, mode):
        if mode == "foreign":
            intruder = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            intruder.bind(("127.0.0.2", 0))
            intruder.connect(self.port)
            intruder.settimeout(3)
            try:
                closed = intruder.recv(1) == b""
            except OSError as e:
                closed = not isinstance(e, socket.timeout)
            log("FOREIGN " + ("closed" if closed else "open"))
            intruder.close()
        conn = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if mode == "slow":
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        conn.connect(self.port)
        return conn

    def store(self, name, mode):
        if mode == "refuse-stor":
            self.reply("553 Could not create file.")
            return
        conn = None
        if self.port is not None and mode != "active-late":
            conn = self.connect_active(mode)
        self.reply("150 Ok to send data.")
        if mode == "early226":
            self.reply("226 Transfer complete.")
        if self.port is not None and mode == "active-late":
            time.sleep(0.3)
            conn = self.connect_active(mode)
        if conn is None:
            conn, _ = self.pasv.accept()
            self.pasv.close()
        data = b""
        while True:
            if mode == "slow":
                time.sleep(0.01)
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
            if mode == "drop" and len(data) >= 1000:
                conn.close()
                self.request.close()
                log("DROPPED %d" % len(data))
                return
        conn.close()
        with open(os.path.join(ARGS.root, os.path.basename(name)), "wb") as f:
            f.write(data)
        log("STORED %s %d" % (name, len(data)))
        self.port = None
        if mode != "early226":
            self.reply("226 Transfer complete.")


    def retrieve(self, name, mode):
        path = os.path.join(ARGS.root, os.path.basename(name))
        if not os.path.exists(path):
            self.reply("550 No such file.")
            return
        with open(path, "rb") as f:
            data = f.read()
        conn = self.connect_active(mode) if self.port is not None else None
        self.reply("150 Opening data connection.")
        if conn is None:
            conn, _ = self.pasv.accept()
            self.pasv.close()
        for at in range(0, len(data), 4096):
            if mode == "slow":
                time.sleep(0.01)
            conn.sendall(data[at:at + 4096])
        conn.close()
        self.port = None
        self.reply("226 Transfer complete.")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", default=".")
    parser.add_argument("--mode", default="normal")
    ARGS = parser.parse_args()
    with Server(("127.0.0.1", ARGS.port), Handler) as server:
        log("PORT %d" % server.server_address[1])
        server.serve_forever()


if __name__ == "__main__":
    main()
