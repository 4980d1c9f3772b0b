#!/usr/bin/python3
"""A local FTP server for the transfer tests, standing in for a gateway's built-in server.

Serves --root (which holds the device tree under RFA/) on --host, port 0 by default so the kernel
picks a free one, and prints "LISTENING <port>" on standard output once it accepts connections.
The switches give it the misbehaviours the tests need: refusing every login, dropping the whole
connection part-way through a STOR or a RETR, falling silent part-way through one (the whole server
hangs, as a wedged gateway would), falling silent after a number of completed STORs, sending a
RETR a few bytes at a time, announcing a wrong size for a RETR (in the SIZE reply, or only in the
reply that opens the transfer), cutting a RETR short with a 226, answering NLST with whole `ls -l`
lines, with full paths or with nothing, and writing every command
it receives to a log file, and cutting every stored file short once its STOR was acknowledged.
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


def make_dtp_handler(drop_store_after, drop_retrieve_after, stall_after, retrieve_rate):
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
            # The file is there before the command's name, which comes after the first send.
            if retrieve_rate is not None and self.file_obj is not None:
                # A trickle: an eighth of a second's worth at a time.
                data = data[:max(1, retrieve_rate // 8)]
                time.sleep(len(data) / retrieve_rate)
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
    parser.add_argument("--freeze-after-stores", type=int, default=None, metavar="COUNT")
    parser.add_argument("--retr-rate", type=int, default=None, metavar="BYTES_PER_SECOND")
    parser.add_argument("--announce-size-delta", type=int, default=None, metavar="BYTES")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--long-nlst", action="store_true")
    parser.add_argument("--echo-password", action="store_true")
    parser.add_argument("--truncate-stored", type=int, default=None, metavar="BYTES")
    parser.add_argument("--cut-retr-after", type=int, default=None, metavar="BYTES")
    parser.add_argument("--nlst", choices=("paths", "none"), default=None)
    parser.add_argument("--log", default=None, metavar="FILE")
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)

    authorizer = RefusingAuthorizer() if args.refuse_logins else DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    log = open(args.log, "a", encoding="utf-8", errors="backslashreplace") if args.log else None

    class Handler(FTPHandler):
        auth_failed_timeout = 0
        # Sending through send() lets the RETR misbehaviours count the bytes.
        use_sendfile = (args.drop_retr_after is None and args.stall_after is None
                        and args.retr_rate is None)
        dtp_handler = make_dtp_handler(args.drop_stor_after, args.drop_retr_after,
                                       args.stall_after, args.retr_rate)
        stores_received = 0
        announced_size = None
        echoed = ""

        if args.echo_password:
            # Byte for byte: the password's bytes come back as they were sent.
            def decode(self, data):
                return data.decode("latin-1")

            def push(self, s):
                super(FTPHandler, self).push(s.encode("latin-1"))

        def pre_process_command(self, line, cmd, arg):
            if log is not None:
                log.write(line + "\n")
                log.flush()
            if args.echo_password and cmd == "PASS":
                self.echoed = arg
            if (args.freeze_after_stores is not None
                    and Handler.stores_received >= args.freeze_after_stores):
                time.sleep(3600)
            FTPHandler.pre_process_command(self, line, cmd, arg)

        def on_file_received(self, file):
            Handler.stores_received += 1
            if args.truncate_stored is not None:
                # A full device: the STOR was acknowledged, but the file is short.
                with open(file, "r+b") as stored:
                    stored.seek(0, 2)
                    stored.truncate(max(0, stored.tell() - args.truncate_stored))

        def ftp_SIZE(self, path):
            if args.no_size:
                self.respond("502 Command not implemented.")
            elif args.announce_size_delta is not None and self.fs.isfile(path):
                self.respond("213 %d" % (self.fs.getsize(path) + args.announce_size_delta))
            else:
                FTPHandler.ftp_SIZE(self, path)

        def ftp_RETR(self, file):
            if args.cut_retr_after is not None and self.fs.isfile(file):
                # Half a file, then 226 as if it were all.
                with open(file, "rb") as whole:
                    self.push_dtp_data(whole.read(args.cut_retr_after), cmd="RETR")
                return file
            if args.announce_size_delta is not None and self.fs.isfile(file):
                self.announced_size = self.fs.getsize(file) + args.announce_size_delta
            FTPHandler.ftp_RETR(self, file)
            self.announced_size = None

        def respond(self, resp, *rest, **named):
            # The reply that opens a transfer may carry its size, as "(N bytes)".
            if self.announced_size is not None and resp[:4] in ("125 ", "150 "):
                resp = "%s (%d bytes)" % (resp.rstrip("."), self.announced_size)
            if self.echoed:
                resp = "%s %s" % (resp, self.echoed)
            FTPHandler.respond(self, resp, *rest, **named)

        if args.nlst == "none":
            def ftp_NLST(self, path):
                self.push_dtp_data(b"", cmd="NLST")
                return path
        elif args.nlst == "paths":
            def ftp_NLST(self, path):
                names = sorted(self.fs.listdir(path))
                virtual = self.fs.fs2ftp(path).rstrip("/")
                data = "".join("%s/%s\r\n" % (virtual, name) for name in names)
                self.push_dtp_data(data.encode("utf-8"), cmd="NLST")
                return path

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
