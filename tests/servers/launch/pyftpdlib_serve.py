"""pyftpdlib as the launcher runs it: one user, a fixed port, a passive block, no
delay after a failed login, and optionally SIZE answered in ASCII mode too."""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def parse():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--passive", required=True, help="FIRST-LAST")
    parser.add_argument("--size-in-ascii", action="store_true")
    parser.add_argument("--read-only", action="append", default=[])
    parser.add_argument("--idle-timeout", type=int, default=0)
    parser.add_argument("--failed-login-delay", type=float, default=0.0)
    parser.add_argument("--burst-bytes", type=int, default=0)
    parser.add_argument("--odd-listing-lines", action="store_true")
    parser.add_argument("--tls-cert", help="TLS required on control and data (explicit)")
    parser.add_argument("--tls-key")
    return parser.parse_args()


class OddLines(AbstractedFS):
    """Lists every entry whose name starts with "odd-" in a line no client
    reads (the name alone, no columns, no facts), the others as usual: a
    folder where only some lines are odd. MLST still describes them."""

    @staticmethod
    def _odd(lines):
        for line in lines:
            name = line.rstrip(b"\r\n").rsplit(b" ", 1)[-1]
            yield name + b"\r\n" if name.startswith(b"odd-") else line

    def format_list(self, *args, **kwargs):
        return self._odd(AbstractedFS.format_list(self, *args, **kwargs))

    def format_mlsx(self, *args, **kwargs):
        lines = AbstractedFS.format_mlsx(self, *args, **kwargs)
        # MLST (asked with ignore_err=False) answers of one entry: kept whole.
        return lines if kwargs.get("ignore_err", True) is False else self._odd(lines)


def handler_class(options):
    base = TLS_FTPHandler if options.tls_cert else FTPHandler

    class Handler(base):
        # Names pass as the bytes on disk both ways, as on the other servers;
        # stock pyftpdlib would list a Latin-1 name with "?" in it.
        unicode_errors = "surrogateescape"

        # Stock pyftpdlib answers "550 SIZE not allowed in ASCII mode." to a client
        # that never sent TYPE I; WinInet sends SIZE in whatever type it last used.
        if options.size_in_ascii:
            def ftp_SIZE(self, path):
                saved, self._current_type = self._current_type, "i"
                try:
                    return base.ftp_SIZE(self, path)
                finally:
                    self._current_type = saved

    authorizer = DummyAuthorizer()
    authorizer.add_user(options.user, options.password, options.root, perm="elradfmwMT")
    for name in options.read_only:
        authorizer.override_perm(options.user, os.path.join(options.root, name), perm="elr", recursive=True)
    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = options.failed_login_delay
    if options.idle_timeout:
        Handler.timeout = options.idle_timeout
    if options.burst_bytes:
        # The throttle sends its limit, then sleeps about two seconds: a server
        # whose data comes in bursts with long silences between them.
        class Bursts(ThrottledDTPHandler):
            write_limit = options.burst_bytes
        Handler.dtp_handler = Bursts
    if options.odd_listing_lines:
        Handler.abstracted_fs = OddLines
    first, last = (int(port) for port in options.passive.split("-"))
    Handler.passive_ports = list(range(first, last + 1))
    if options.tls_cert:
        Handler.certfile, Handler.keyfile = options.tls_cert, options.tls_key
        Handler.tls_control_required = Handler.tls_data_required = True
    return Handler


def main():
    options = parse()
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG,
                        format="%(asctime)s.%(msecs)03d %(message)s", datefmt="%H:%M:%S")
    server = FTPServer((options.address, options.port), handler_class(options))
    # Without a poll timeout the loop never wakes for its idle timer.
    server.serve_forever(timeout=0.5 if options.idle_timeout else None)


if __name__ == "__main__":
    main()
