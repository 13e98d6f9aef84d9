"""Loopback FTP server (pyftpdlib) for the Windows suite under Wine.

Binds 127.0.0.1 on a free port and writes the port number to --port-file once
listening; logs every command to stderr. Runs until it gets SIGTERM.

  --size-in-ascii      answer SIZE whatever the TYPE (stock pyftpdlib refuses it
                       in ASCII mode, and Wine's FtpCommandW never sends TYPE I)
  --disk-full-prefix P stores of files whose name starts with P take the data,
                       then fail as on a full disk with a 426 reply
  --no-size-prefix P   SIZE of files whose name starts with P is refused (550)
  --cut-short-prefix P retrievals of files whose name starts with P stop after
                       100,000 bytes: the data connection closes, the reply is 426
  --empty-user-root D  a second user, "empty" (password "pass"), logs in to D
"""
import argparse
import errno
import io
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def parse_arguments():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--user", default="user")
    p.add_argument("--password", default="pass")
    p.add_argument("--size-in-ascii", action="store_true")
    p.add_argument("--disk-full-prefix", default=None)
    p.add_argument("--no-size-prefix", default=None)
    p.add_argument("--cut-short-prefix", default=None)
    p.add_argument("--empty-user-root", default=None)
    p.add_argument("--auth-failed-timeout", type=float, default=0.0)
    return p.parse_args()


class FullDiskFile:
    """A file opened for a store that fails on its first write."""

    def __init__(self, real):
        self._real = real
        self.name = real.name
        self.closed = False

    def write(self, _data):
        raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))

    def close(self):
        self.closed = True
        self._real.close()


class CutShortFile:
    """A file opened for a retrieval whose reads fail after `limit` bytes; the
    server then closes the data connection and replies "426 ...; transfer
    aborted.", as one does whose disk failed in the middle of a file."""

    def __init__(self, real, limit=100000):
        self._real = real
        self._left = limit
        self.name = real.name

    @property
    def closed(self):
        return self._real.closed

    def fileno(self):
        raise io.UnsupportedOperation("no sendfile: reads must go through read()")

    def seek(self, *args):
        return self._real.seek(*args)

    def read(self, size=-1):
        if self._left <= 0:
            raise OSError(errno.EIO, os.strerror(errno.EIO))
        data = self._real.read(min(size, self._left) if size >= 0 else self._left)
        self._left -= len(data)
        return data

    def close(self):
        self._real.close()


def starts_with(filename, prefix):
    return bool(prefix) and os.path.basename(filename).startswith(prefix)


def make_filesystem(a):
    class FileSystem(AbstractedFS):
        def open(self, filename, mode):
            f = super().open(filename, mode)
            if "w" in mode and starts_with(filename, a.disk_full_prefix):
                return FullDiskFile(f)
            if "r" in mode and starts_with(filename, a.cut_short_prefix):
                return CutShortFile(f)
            return f
    return FileSystem


def make_handler(a):
    class Handler(FTPHandler):
        def ftp_SIZE(self, path):
            if a.no_size_prefix and os.path.basename(path).startswith(a.no_size_prefix):
                self.respond("550 SIZE refused for this file.")
                return None
            if not a.size_in_ascii:
                return FTPHandler.ftp_SIZE(self, path)
            saved, self._current_type = self._current_type, "i"
            try:
                return FTPHandler.ftp_SIZE(self, path)
            finally:
                self._current_type = saved

    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    if a.empty_user_root:
        authorizer.add_user("empty", "pass", a.empty_user_root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.abstracted_fs = make_filesystem(a)
    Handler.auth_failed_timeout = a.auth_failed_timeout
    return Handler


def main():
    a = parse_arguments()
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG,
                        format="%(asctime)s.%(msecs)03d %(message)s", datefmt="%H:%M:%S")
    server = FTPServer(("127.0.0.1", 0), make_handler(a))
    port = server.socket.getsockname()[1]
    tmp = a.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, a.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
