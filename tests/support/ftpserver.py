#!/usr/bin/python3
"""A local FTP server for the transfer tests, standing in for a gateway's built-in server.

Serves --root (which holds the device tree under RFA/) on --host, port 0 by default so the kernel
picks a free one, and prints "LISTENING <port>" on standard output once it accepts connections.
The switches give it the misbehaviours the tests need: refusing every login, dropping the whole
connection part-way through a STOR or a RETR, falling silent part-way through one (the whole server
hangs, as a wedged gateway would), answering NLST with whole `ls -l` lines, and writing every
command it receives to a log file.
"""

import argparse
import logging
import sys
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer


class RefusingAuthorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed("Login refused.")


def make_dtp_handler(drop_store_after, drop_retrieve_after, stall_after):
    class MisbehavingDTPHandler(DTPHandler):
        def _misbehave_if_past(self, done, drop_limit):
            if stall_after is not None and done >= stall_after:
                time.sleep(3600)
            if drop_limit is not None and done >= drop_limit:
                # Both channels go at once, as when a gateway reboots mid-transfer.
                self.cmd_channel.close()

        def handle_read(self):
            DTPHandler.handle_read(self)
            if self.cmd == "STOR":
                self._misbehave_if_past(self.tot_bytes_received, drop_store_after)

        handle_read_event = handle_read

        def send(self, data):
            sent = DTPHandler.send(self, data)
            if self.cmd == "RETR":
                self._misbehave_if_past(self.tot_bytes_sent, drop_retrieve_after)
            return sent

    return MisbehavingDTPHandler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="ftp")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--refuse-logins", action="store_true")
    parser.add_argument("--drop-stor-after", type=int, default=None, metavar="BYTES")
    parser.add_argument("--drop-retr-after", type=int, default=None, metavar="BYTES")
    parser.add_argument("--stall-after", type=int, default=None, metavar="BYTES")
    parser.add_argument("--long-nlst", action="store_true")
    parser.add_argument("--log", default=None, metavar="FILE")
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)

    authorizer = RefusingAuthorizer() if args.refuse_logins else DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    log = open(args.log, "a", encoding="utf-8", errors="backslashreplace") if args.log else None

    class Handler(FTPHandler):
        auth_failed_timeout = 0
        # Sending through send() lets the RETR misbehaviours count the bytes.
        use_sendfile = args.drop_retr_after is None and args.stall_after is None
        dtp_handler = make_dtp_handler(args.drop_stor_after, args.drop_retr_after,
                                       args.stall_after)

        def pre_process_command(self, line, cmd, arg):
            if log is not None:
                log.write(line + "\n")
                log.flush()
            FTPHandler.pre_process_command(self, line, cmd, arg)

        if args.long_nlst:
            def ftp_NLST(self, path):
                return self.ftp_LIST(path)

    Handler.authorizer = authorizer
    server = FTPServer((args.host, args.port), Handler, ioloop=IOLoop())
    port = server.socket.getsockname()[1]
    sys.stdout.write("LISTENING %d\n" % port)
    sys.stdout.flush()
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
