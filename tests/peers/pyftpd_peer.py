#!/usr/bin/python3
"""pyftpdlib on 127.0.0.1 for the FTP client's tests: prints "PORT <n>" once it listens, then its log
(every command and reply) on standard output.

Users: ftpuserID / MoLeSkIn may do everything in ROOT; reader / reader may only read (no STOR).
Usage: pyftpd_peer.py ROOT [PORT]
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    authorizer = DummyAuthorizer()
    authorizer.add_user("ftpuserID", "MoLeSkIn", root, perm="elradfmwMT")
    authorizer.add_user("reader", "reader", root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "test ftpd\nready"  # a bare LF inside the banner
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1
    logging.basicConfig(stream=sys.stdout, level=logging.DEBUG, format="%(message)s")
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 16
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
