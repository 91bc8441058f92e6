#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the upload tests (Debian's python3-pyftpdlib).

Usage: ftp_test_server.py FOLDER
Users: "pilot" / "secret" may write into FOLDER, "guest" with an empty password too,
"reader" / "secret" may only read. Prints "PORT <n>" once it listens (on a free port), then
serves until killed.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    folder = sys.argv[1]
    authorizer = DummyAuthorizer()
    authorizer.add_user("pilot", "secret", folder, perm="elradfmw")
    authorizer.add_user("guest", "", folder, perm="elradfmw")
    authorizer.add_user("reader", "secret", folder, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = True
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT", server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
