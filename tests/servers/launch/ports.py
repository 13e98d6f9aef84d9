"""Free ports, passive port blocks shared safely between parallel launchers, and the
listening check that never connects (a probe connection would count as a session)."""
import errno
import fcntl
import os
import random
import socket

# Passive blocks live below Linux's ephemeral range (32768-60999), so a control port
# picked by binding port 0 never falls inside another server's passive block.
PASSIVE_FIRST = 20000
PASSIVE_LAST = 32700
PASSIVE_BLOCK = 100
LOCK_DIR = "/tmp/sapi-ftp-passive-ports"


def family_of(address):
    return socket.AF_INET6 if ":" in address else socket.AF_INET


def free_port(address):
    """A port nobody listens on right now. The server binds it a moment later; a
    launcher that loses that race sees the server fail and tries again."""
    with socket.socket(family_of(address), socket.SOCK_STREAM) as probe:
        probe.bind((address, 0))
        return probe.getsockname()[1]


class PassiveBlock:
    """A block of passive ports held through an exclusive lock file for the life of
    the launcher. The kernel drops the lock when the launcher dies, however it dies."""

    def __init__(self):
        os.makedirs(LOCK_DIR, mode=0o777, exist_ok=True)
        bases = list(range(PASSIVE_FIRST, PASSIVE_LAST - PASSIVE_BLOCK + 1, PASSIVE_BLOCK))
        random.shuffle(bases)
        for base in bases:
            descriptor = os.open(os.path.join(LOCK_DIR, "%d.lock" % base), os.O_CREAT | os.O_RDWR, 0o666)
            try:
                fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except OSError as error:
                os.close(descriptor)
                if error.errno in (errno.EWOULDBLOCK, errno.EAGAIN):
                    continue
                raise
            self.first, self.last, self._descriptor = base, base + PASSIVE_BLOCK - 1, descriptor
            return
        raise RuntimeError("every passive port block is in use")

    def release(self):
        if self._descriptor is not None:
            os.close(self._descriptor)
            self._descriptor = None


def _listening_inodes(port, family):
    table = "/proc/net/tcp6" if family == socket.AF_INET6 else "/proc/net/tcp"
    inodes = set()
    with open(table) as lines:
        next(lines)
        for line in lines:
            fields = line.split()
            local_port = int(fields[1].rsplit(":", 1)[1], 16)
            if local_port == port and fields[3] == "0A":  # 0A: LISTEN
                inodes.add(fields[9])
    return inodes


def _socket_inodes_of(pid):
    inodes = set()
    fd_dir = "/proc/%d/fd" % pid
    try:
        names = os.listdir(fd_dir)
    except OSError:
        return inodes
    for name in names:
        try:
            target = os.readlink(os.path.join(fd_dir, name))
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    return inodes


def listens(pid, address, port):
    """True when process `pid` itself holds a listening socket on `port`, so a
    stranger that grabbed the port is not mistaken for our server."""
    inodes = _listening_inodes(port, family_of(address))
    return bool(inodes) and bool(inodes & _socket_inodes_of(pid))
