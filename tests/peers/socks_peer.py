#!/usr/bin/python3
"""A scripted SOCKS 4/4A/5 server on 127.0.0.1 for the socket tests (Python standard library only).

It reads each request of the client completely and answers with the bytes it was given, so that a
test can send any reply, right or wrong. Prints "PORT <n>" once it listens, then one line per request
read, "<connection> GREETING|AUTH|CONNECT <hex>", and "<connection> GOT <hex>" for bytes the client
sends after the negotiation. Each reply option takes a comma-separated list of hex strings; connection
number i (from 0) uses item i, or the last one when the list is shorter.
  --method HEX   the SOCKS 5 method reply (default 0500); 05 02 makes the server read a user/password
  --auth HEX     the user/password reply (default 0100); a status other than 00 ends the connection
  --reply HEX    the connect reply (default: granted, for SOCKS 4 and 5 alike)
  --after HEX    bytes sent in the same write as the connect reply
  --later HEX    bytes sent 200 ms after the connect reply
  --split        every reply goes one byte at a time, 2 ms apart
"""
import argparse
import socket
import socketserver
import sys
import threading
import time

LOCK = threading.Lock()
ARGS = None
COUNTER = [0]


def log(line):
    with LOCK:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


def pick(option, index):
    items = option.split(",")
    return bytes.fromhex(items[min(index, len(items) - 1)])


class Handler(socketserver.BaseRequestHandler):
    def read(self, count):
        data = b""
        while len(data) < count:
            chunk = self.request.recv(count - len(data))
            if not chunk:
                raise EOFError
            data += chunk
        return data

    def read_to_nul(self):
        data = b""
        while not data.endswith(b"\0"):
            data += self.read(1)
        return data

    def send(self, data, after=b""):
        if not ARGS.split:
            self.request.sendall(data + after)  # one write: the client finds both in one read
            return
        for i in range(len(data)):
            self.request.sendall(data[i:i + 1])
            time.sleep(0.002)
        self.request.sendall(after)

    def handle(self):
        with LOCK:
            self.index = COUNTER[0]
            COUNTER[0] += 1
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            if not self.negotiate():
                return
            later = pick(ARGS.later, self.index)
            if later:
                time.sleep(0.2)
                self.request.sendall(later)
            while True:
                data = self.request.recv(4096)
                if not data:
                    break
                log("%d GOT %s" % (self.index, data.hex()))
        except (EOFError, ConnectionError):
            pass

    def negotiate(self):
        version = self.read(1)
        if version == b"\x04":
            request = version + self.read(7)
            request += self.read_to_nul()
            if request[4:7] == b"\0\0\0" and request[7] != 0:
                request += self.read_to_nul()
            log("%d CONNECT %s" % (self.index, request.hex()))
            reply = pick(ARGS.reply, self.index) if ARGS.reply else bytes([0, 90]) + request[2:8]
            self.send(reply, pick(ARGS.after, self.index))
            return reply[:2] == bytes([0, 90])
        count = self.read(1)
        log("%d GREETING %s" % (self.index, (version + count + self.read(count[0])).hex()))
        method = pick(ARGS.method, self.index)
        self.send(method)
        if method == b"\x05\x02":
            head = self.read(2)
            user = self.read(head[1])
            size = self.read(1)
            log("%d AUTH %s" % (self.index, (head + user + size + self.read(size[0])).hex()))
            auth = pick(ARGS.auth, self.index)
            self.send(auth)
            if auth[1:2] != b"\x00":
                return False
        elif method != b"\x05\x00":
            return False
        head = self.read(4)
        kind = head[3]
        if kind == 1:
            address = self.read(4)
        elif kind == 4:
            address = self.read(16)
        else:
            address = self.read(1)
            address += self.read(address[0])
        log("%d CONNECT %s" % (self.index, (head + address + self.read(2)).hex()))
        reply = pick(ARGS.reply, self.index) if ARGS.reply else bytes.fromhex("05000001" "7f000001" "1f90")
        self.send(reply, pick(ARGS.after, self.index))
        return reply[:2] == b"\x05\x00"


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--method", default="0500")
    parser.add_argument("--auth", default="0100")
    parser.add_argument("--reply", default="")
    parser.add_argument("--after", default="")
    parser.add_argument("--later", default="")
    parser.add_argument("--split", action="store_true")
    ARGS = parser.parse_args()
    server = Server(("127.0.0.1", ARGS.port), Handler)
    log("PORT %d" % server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
