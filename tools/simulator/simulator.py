#!/usr/bin/python3
"""Simulated Orbiphon gateways for tests, demonstrations and operators' training.

Each gateway is an FTP server on port 21 of its own loopback address (127.0.0.2 and up) with a
/RFA/ tree, and answers ICMP echo unless it is made silent. Everything runs inside a private
network namespace, so nothing reaches the host's network.

  simulator.py run [options] -- COMMAND [ARG...]
      creates the namespace, starts the gateways, runs COMMAND inside it (every "{list}" in its
      arguments becomes the path of the gateway list, "{root}" the simulator's folder), then stops
      everything and removes what it created. Exits with COMMAND's status.

  simulator.py serve [options]
      serves in the current network namespace (one that the caller created) until SIGTERM.

Options:
  --gateways N            number of gateways (default 3)
  --silent K              gateway K (1-based) answers no ICMP echo; repeatable
  --refuse-login K        gateway K refuses the list's login; repeatable
  --lack-folder K:NAME    gateway K has no /RFA/NAME/ (Doc, Images or User); repeatable
  --listing-lines K       gateway K answers NLST with whole "ls -l" lines; repeatable
  --rate K:BYTES          gateway K moves file data at BYTES per second at most; repeatable
  --hang K                gateway K accepts FTP connections and never answers; repeatable
  --drop-put K            gateway K drops the connection in the middle of every put; repeatable
  --delay MS | K:MS       every gateway (MS) or gateway K (K:MS) answers each FTP command MS
                          milliseconds late, as slow embedded servers do; repeatable
  --user NAME, --password TEXT   the login every gateway accepts (default admin / orbiphon)
  --root DIR              folder for the gateways' trees and the list (default: a new temporary one,
                          removed at the end)
  --list FILE             where to write the gateway list (default ROOT/gateways.obl)
  --ready FILE            written once every gateway serves (for callers that wait)
  --samples               also write ROOT/samples/Addrbook.cpe and a firmware folder
                          ROOT/samples/firmware to upload to the gateways
  --verbose               log every FTP command the gateways receive
"""

import argparse
import fcntl
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import logging
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

LIST_MAGIC = b"OBL101002"
PASSWORD_KEY = b"RZN640295"
NFT_TABLE = "orbiphon_simulator"
DEVICE_FOLDERS = ("Doc", "Images", "User")


def gateway_address(number):
    return "127.0.0.%d" % (number + 1)


# --- the gateway-list file -------------------------------------------------------------------

def counted_string(data):
    size = len(data)
    if size < 255:
        head = struct.pack("<B", size)
    elif size < 0xFFFE:
        head = struct.pack("<BH", 0xFF, size)
    else:
        head = struct.pack("<BHI", 0xFF, 0xFFFF, size)
    return head + data


def encode_password(plain):
    return "".join("%02X" % ((byte + PASSWORD_KEY[i % len(PASSWORD_KEY)]) % 256)
                   for i, byte in enumerate(plain)).encode("ascii")


def write_gateway_list(path, gateways):
    body = counted_string(LIST_MAGIC) + struct.pack("<i", len(gateways))
    for address, user, password in gateways:
        body += counted_string(address.encode("latin-1"))
        body += counted_string(user.encode("latin-1"))
        body += counted_string(encode_password(password.encode("latin-1")))
    with open(path, "wb") as out:
        out.write(body)
    os.chmod(path, 0o600)


# --- one gateway's files ---------------------------------------------------------------------

def empty_address_book(number):
    """A valid 13,770-byte book naming the gateway, so a download shows where it came from."""
    def slot(ip, port, telephone):
        data = ip.encode("ascii").ljust(16, b"\0") + struct.pack("<H", port)
        return data + telephone.encode("ascii").ljust(36, b"\0")

    gateway = slot("255.255.255.255", 1720, "0" * 35)
    entry = slot(gateway_address(number), 1720, "0039%04d" % number)
    return gateway + gateway + entry + b"\0" * (54 * 252)


def make_tree(root, number, lacking):
    rfa = os.path.join(root, "gw%d" % number, "RFA")
    os.makedirs(rfa)
    with open(os.path.join(rfa, "Addrbook.cpe"), "wb") as out:
        out.write(empty_address_book(number))
    with open(os.path.join(rfa, "NVRAM.TXT"), "w") as out:
        out.write("serial=SIM%04d\n" % number)
    with open(os.path.join(rfa, "SETUP.BIN"), "wb") as out:
        out.write(b"old firmware %d\n" % number)
    for folder in DEVICE_FOLDERS:
        if folder in lacking:
            continue
        os.makedirs(os.path.join(rfa, folder))
        with open(os.path.join(rfa, folder, "OLD.DAT"), "w") as out:
            out.write("old %s data\n" % folder)
    return os.path.dirname(rfa)


def make_samples(root):
    samples = os.path.join(root, "samples")
    firmware = os.path.join(samples, "firmware")
    files = {
        "SETUP.BIN": b"new firmware\n",
        "NVRAM.TXT": b"never uploaded\n",
        "DOC/MANUAL.PDF": b"%PDF-1.4 sample\n",
        "IMAGES/LOGO.BMP": b"BM sample\n",
        "USER/USER.CFG": b"user=sample\n",
    }
    for name, data in files.items():
        path = os.path.join(firmware, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
    with open(os.path.join(samples, "Addrbook.cpe"), "wb") as out:
        out.write(empty_address_book(0))
    return samples


# --- the FTP servers -------------------------------------------------------------------------

class DeviceFS(AbstractedFS):
    """The gateways' file system ignores letter case, as their storage does: /RFA/DOC/ is /RFA/Doc/."""

    def ftp2fs(self, ftppath):
        path = super().ftp2fs(ftppath)
        if os.path.exists(path):
            return path
        resolved = self.root
        for part in os.path.relpath(path, self.root).split(os.sep):
            candidate = os.path.join(resolved, part)
            if not os.path.exists(candidate) and os.path.isdir(resolved):
                matches = [n for n in os.listdir(resolved) if n.lower() == part.lower()]
                if matches:
                    candidate = os.path.join(resolved, matches[0])
            resolved = candidate
        return resolved


class GatewayHandler(FTPHandler):
    abstracted_fs = DeviceFS
    auth_failed_timeout = 0
    permit_foreign_addresses = True
    permit_privileged_ports = True
    banner = "Orbiphon gateway (simulated) ready."


class ListingLinesHandler(GatewayHandler):
    """Some gateways answer a name listing with whole directory lines."""

    def ftp_NLST(self, path):
        return self.ftp_LIST(path)


class DelayedHandler(GatewayHandler):
    """Answers every command `delay` seconds late. Each gateway has its own event loop, so the
    pause holds up only this gateway."""
    delay = 0.0

    def pre_process_command(self, line, cmd, arg):
        time.sleep(self.delay)
        super().pre_process_command(line, cmd, arg)


class HangingHandler(GatewayHandler):
    """A frozen gateway: the connection is accepted, the greeting never comes."""

    def handle(self):
        pass


class SlowDataHandler(DTPHandler):
    """Moves file data at no more than `rate` bytes per second, measured from the transfer's
    start, by pausing the channel in the event loop (the other gateways go on meanwhile)."""
    rate = 0

    def __init__(self, sock, cmd_channel):
        super().__init__(sock, cmd_channel)
        # Small reads keep the pace even; whole files would otherwise arrive in one gulp.
        self.ac_in_buffer_size = self.ac_out_buffer_size = max(512, min(65536, self.rate // 20))
        self._started = None
        self._moved = 0

    def use_sendfile(self):
        return False

    def _pace(self, count):
        now = time.monotonic()
        if self._started is None:
            self._started = now
        self._moved += count
        wait = self._started + self._moved / self.rate - now
        if wait > 0 and not self._closed:
            event = self.ioloop.READ if self.receive else self.ioloop.WRITE
            self.del_channel()
            self.ioloop.call_later(wait, lambda: self._closed or self.add_channel(events=event))

    def recv(self, buffer_size):
        chunk = super().recv(buffer_size)
        self._pace(len(chunk))
        return chunk

    def send(self, data):
        sent = super().send(data)
        self._pace(sent)
        return sent


class DroppingDataHandler(DTPHandler):
    """The connection breaks off once the first data of a put has arrived."""

    def handle_read(self):
        super().handle_read()
        if self.tot_bytes_received > 0:
            self.cmd_channel.close()
            self.close()

    handle_read_event = handle_read


def add_server(ioloop, address, home, user, password, behaviour):
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, home, perm="elradfmwMT")
    base = GatewayHandler
    if behaviour.get("hang"):
        base = HangingHandler
    elif behaviour.get("listing_lines"):
        base = ListingLinesHandler
    attributes = {}
    if behaviour.get("delay") and base is not HangingHandler:
        base = type("Delayed", (DelayedHandler, base), {"delay": behaviour["delay"] / 1000.0})
    if behaviour.get("rate"):
        attributes["dtp_handler"] = type("SlowData", (SlowDataHandler,), {"rate": behaviour["rate"]})
    elif behaviour.get("drop_put"):
        attributes["dtp_handler"] = DroppingDataHandler
    handler = type("Handler", (base,), attributes)
    handler.authorizer = authorizer
    return FTPServer((address, 21), handler, ioloop=ioloop)


# --- the network namespace -------------------------------------------------------------------

def loopback_up():
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        request = struct.pack("16sH", b"lo", 0)
        flags = struct.unpack("16sH", fcntl.ioctl(sock, SIOCGIFFLAGS, request))[1]
        fcntl.ioctl(sock, SIOCSIFFLAGS, struct.pack("16sH", b"lo", flags | IFF_UP))


def silence(addresses):
    # A simulator killed before it could clean up leaves its table in the namespace.
    unsilence()
    if not addresses:
        return
    rules = ["table ip %s {" % NFT_TABLE,
             "  chain input {",
             "    type filter hook input priority 0; policy accept;"]
    rules += ["    ip daddr %s icmp type echo-request drop" % a for a in addresses]
    rules += ["  }", "}"]
    subprocess.run(["nft", "-f", "-"], input="\n".join(rules) + "\n", text=True, check=True)


def unsilence():
    try:
        subprocess.run(["nft", "delete", "table", "ip", NFT_TABLE], stderr=subprocess.DEVNULL,
                       check=False)
    except FileNotFoundError:
        pass  # without nft there is no table to remove


def in_private_namespace():
    """True when the loopback interface is the only one: a namespace of our own."""
    return [name for _, name in socket.if_nameindex()] == ["lo"]


# --- the simulator ---------------------------------------------------------------------------

class Simulator:
    def __init__(self, options):
        self.options = options
        self.own_root = options.root is None
        self.root = options.root or tempfile.mkdtemp(prefix="orbiphon-sim-")
        self.list_path = options.list or os.path.join(self.root, "gateways.obl")
        self.ioloops = []
        self.stopping = threading.Event()
        self.threads = []
        self.silent = []

    def start(self):
        opts = self.options
        lacking = {}
        for item in opts.lack_folder:
            number, _, folder = item.partition(":")
            lacking.setdefault(int(number), set()).add(folder.capitalize())
        delays = {}
        # A delay for every gateway first, so that one for gateway K overrides it.
        for item in sorted(opts.delay, key=lambda item: ":" in item):
            number, _, delay = item.rpartition(":")
            for target in ([int(number)] if number else range(1, opts.gateways + 1)):
                delays[target] = int(delay)
        rates = {}
        for item in opts.rate:
            number, _, rate = item.partition(":")
            rates[int(number)] = int(rate)
        gateways = []
        for number in range(1, opts.gateways + 1):
            address = gateway_address(number)
            home = make_tree(self.root, number, lacking.get(number, set()))
            accepted = opts.password if number not in opts.refuse_login else opts.password + "-other"
            behaviour = {"listing_lines": number in opts.listing_lines,
                         "hang": number in opts.hang,
                         "drop_put": number in opts.drop_put,
                         "rate": rates.get(number, 0),
                         "delay": delays.get(number, 0)}
            ioloop = IOLoop()
            self.ioloops.append(ioloop)
            add_server(ioloop, address, home, opts.user, accepted, behaviour)
            gateways.append((address, opts.user, opts.password))
        write_gateway_list(self.list_path, gateways)
        if opts.samples:
            print("simulator: samples in %s" % make_samples(self.root), file=sys.stderr)
        # One event loop per gateway, as each device serves on its own: a busy or paused gateway
        # never holds up another. Each is polled until stop() so it can end promptly.
        for ioloop in self.ioloops:
            thread = threading.Thread(target=self._serve, args=(ioloop,), daemon=True)
            thread.start()
            self.threads.append(thread)
        self.silent = [gateway_address(n) for n in opts.silent]
        silence(self.silent)
        if opts.ready:
            # Written whole under another name and renamed, so a waiting caller never reads half.
            partial = opts.ready + ".part"
            with open(partial, "w") as out:
                out.write(self.list_path + "\n")
            os.replace(partial, opts.ready)

    def _serve(self, ioloop):
        while not self.stopping.is_set():
            ioloop.loop(timeout=0.1, blocking=False)

    def stop(self):
        self.stopping.set()
        for thread in self.threads:
            thread.join()
        for ioloop in self.ioloops:
            ioloop.close()
        if self.silent:
            unsilence()
        if self.own_root:
            shutil.rmtree(self.root, ignore_errors=True)


def parse(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("mode", choices=["run", "serve"])
    parser.add_argument("--gateways", type=int, default=3)
    parser.add_argument("--silent", type=int, action="append", default=[])
    parser.add_argument("--refuse-login", type=int, action="append", default=[])
    parser.add_argument("--lack-folder", action="append", default=[])
    parser.add_argument("--listing-lines", type=int, action="append", default=[])
    parser.add_argument("--rate", action="append", default=[])
    parser.add_argument("--hang", type=int, action="append", default=[])
    parser.add_argument("--drop-put", type=int, action="append", default=[])
    parser.add_argument("--delay", action="append", default=[])
    parser.add_argument("--user", default="admin")
    parser.add_argument("--password", default="orbiphon")
    parser.add_argument("--root")
    parser.add_argument("--list")
    parser.add_argument("--ready")
    parser.add_argument("--samples", action="store_true")
    parser.add_argument("--verbose", action="store_true", help="log every FTP command")
    command = []
    if "--" in argv:
        split = argv.index("--")
        argv, command = argv[:split], argv[split + 1:]
    options = parser.parse_args(argv)
    options.command = command
    if not 1 <= options.gateways <= 253:
        parser.error("--gateways must be 1 to 253")
    for item in options.rate:
        number, _, rate = item.partition(":")
        if not (number.isdigit() and rate.isdigit() and int(rate) > 0):
            parser.error("--rate takes K:BYTES, e.g. 3:1000000")
    for item in options.delay:
        number, _, delay = item.rpartition(":")
        if not (delay.isdigit() and (number == "" or number.isdigit())):
            parser.error("--delay takes MS or K:MS, e.g. 20 or 3:500")
    if options.mode == "run" and not options.command:
        parser.error("run needs a command after --")
    return options


def serve(options):
    if not in_private_namespace():
        sys.exit("simulator: refusing to serve outside a private network namespace")
    loopback_up()
    simulator = Simulator(options)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    try:
        simulator.start()
        stop.wait()
    finally:
        simulator.stop()


def run(options, argv):
    if not in_private_namespace():
        # Re-enter ourselves in a new network namespace; without root, a user namespace grants
        # the rights to bind port 21 and set nftables rules inside it.
        unshare = ["unshare", "-n"] if os.geteuid() == 0 else ["unshare", "-r", "-n"]
        os.execvp(unshare[0], unshare + [sys.executable, os.path.abspath(__file__)] + argv)
    loopback_up()
    simulator = Simulator(options)
    # Ended from outside, still stop the command and remove what was created.
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, lambda received, _: sys.exit(128 + received))
    try:
        simulator.start()
        command = [arg.replace("{list}", simulator.list_path).replace("{root}", simulator.root)
                   for arg in options.command]
        environment = dict(os.environ, ORBIPHON_SIM_LIST=simulator.list_path,
                           ORBIPHON_SIM_ROOT=simulator.root)
        print("simulator: %d gateways at %s to %s; list %s" % (
            options.gateways, gateway_address(1), gateway_address(options.gateways),
            simulator.list_path), file=sys.stderr)
        status = subprocess.call(command, env=environment)
    finally:
        simulator.stop()
    return status


def main():
    argv = sys.argv[1:]
    options = parse(argv)
    if not options.verbose:
        logging.disable(logging.INFO)
    if options.mode == "serve":
        serve(options)
        return 0
    return run(options, argv)


if __name__ == "__main__":
    sys.exit(main())
