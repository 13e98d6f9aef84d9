#!/usr/bin/python3
"""Starts a real FTP server on loopback for tests and for trying things by hand.

    /usr/bin/python3 tests/servers/ftpserver.py KIND --root DIR [--user U] [--password P]
        [--address 127.0.0.1|::1|ADDRESS] [--port N] [--size-in-ascii] [--slow-failed-logins]
        [--read-only NAME]... [--idle-timeout SECONDS] [--no-chroot] [--burst-bytes N] [--digest]
        [--odd-listing-lines]
        [--log FILE]
        [--tls explicit|implicit --tls-cert PEM --tls-key PEM]

KIND is pyftpdlib, vsftpd, proftpd, pureftpd, inetutils (inetutils-ftpd under socat)
or twisted (Twisted's FTP server); the last two take no TLS. Once the server listens it prints
"UID n" (the owner files under DIR should have) and then "PORT n", and supervises:
when its stdin reaches end of file, or on SIGTERM/SIGINT, it stops the server and all
of its session processes by pid, removes what it added to the system, and exits.
Run it from a shell with stdin on the terminal and end it with Ctrl-D or Ctrl-C.
"""
import argparse
import ipaddress
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from launch import kinds, ports, processes  # noqa: E402

START_TIMEOUT = 10.0
START_ATTEMPTS = 3


def address(text):
    ipaddress.ip_address(text)  # a name would be looked up; only addresses are taken
    return text


def parse():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("kind", choices=sorted(kinds.KINDS))
    parser.add_argument("--root", required=True, help="served folder (made if missing)")
    parser.add_argument("--user", default="sapiftp")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--address", default="127.0.0.1", type=address,
                        help="127.0.0.1, ::1, or an address of a network namespace of your own (the bench's)")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free one")
    parser.add_argument("--size-in-ascii", action="store_true",
                        help="pyftpdlib: answer SIZE before TYPE I too")
    parser.add_argument("--slow-failed-logins", action="store_true",
                        help="keep the server's usual delay after a wrong password")
    parser.add_argument("--read-only", action="append", default=[], metavar="NAME",
                        help="a folder under the root that the user may list but not write")
    parser.add_argument("--idle-timeout", type=int, default=0, metavar="SECONDS",
                        help="close idle sessions after this long (pure-ftpd: whole minutes)")
    parser.add_argument("--no-chroot", action="store_true",
                        help="vsftpd: log in without a chroot, landing in the root by its full path")
    parser.add_argument("--burst-bytes", type=int, default=0, metavar="N",
                        help="pyftpdlib: send file data in bursts of N bytes, about two seconds apart")
    parser.add_argument("--odd-listing-lines", action="store_true",
                        help="pyftpdlib: list names starting with odd- in a line no client reads")
    parser.add_argument("--log", help="copy the server's log here when stopping")
    parser.add_argument("--digest", action="store_true",
                        help="proftpd: hash files on request (mod_digest: HASH, XSHA256, ...)")
    parser.add_argument("--tls", choices=["explicit", "implicit"],
                        help="TLS required on control and data (implicit: vsftpd and proftpd only)")
    parser.add_argument("--tls-cert", help="the server's certificate (PEM), with --tls")
    parser.add_argument("--tls-key", help="its private key (PEM), with --tls")
    parser.add_argument("--tls-version", choices=["1.2", "1.3"],
                        help="proftpd: accept this TLS version only (default: 1.2 and 1.3)")
    options = parser.parse_args()
    options.root = os.path.abspath(options.root)
    if options.tls and not (options.tls_cert and options.tls_key):
        parser.error("--tls needs --tls-cert and --tls-key")
    return options


def make_read_only(root, names):
    """Folders owned by root with mode 0555: the server's account cannot write
    there (pyftpdlib, which runs as root, gets the same rule as a permission)."""
    for name in names:
        folder = os.path.join(root, name)
        os.makedirs(folder, exist_ok=True)
        os.chown(folder, 0, 0)
        os.chmod(folder, 0o555)


def prepare_root(root, uid):
    """The served folder belongs to the account the server writes as. Every folder
    above it must let that account through, or a chroot into it fails."""
    os.makedirs(root, mode=0o755, exist_ok=True)
    for folder, subfolders, files in os.walk(root):
        for name in [folder] + [os.path.join(folder, entry) for entry in subfolders + files]:
            os.lchown(name, uid, uid)
    os.chmod(root, 0o755)
    parent = os.path.dirname(root)
    while parent != "/":
        if not os.stat(parent).st_mode & 0o001:
            raise RuntimeError("%s is not searchable by others (chmod o+x); the server "
                               "cannot reach %s" % (parent, root))
        parent = os.path.dirname(parent)


class Stop(Exception):
    pass


def on_signal(number, frame):
    raise Stop()


def wait_listening(server, address, port):
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        if server.poll() is not None:
            return False
        if ports.listens(server.pid, address, port):
            return True
        time.sleep(0.02)
    return False


def start(options, work, passive, log):
    """Starts the server on a free port; retries when another process took the port
    between our pick and the server's bind."""
    for attempt in range(START_ATTEMPTS):
        port = options.port or ports.free_port(options.address)
        argv, uid = kinds.KINDS[options.kind](options, work, port, passive)
        if attempt == 0:
            prepare_root(options.root, uid)
            make_read_only(options.root, options.read_only)
        server = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=log, cwd=work)
        if wait_listening(server, options.address, port):
            return server, port, uid
        processes.stop_tree(server)
        if options.port:
            break
    raise RuntimeError("%s did not start listening on %s" % (options.kind, options.address))


def supervise(server):
    """Returns True when stdin ends, False when the server exits on its own;
    SIGTERM/SIGINT raise Stop."""
    while server.poll() is None:
        readable, _, _ = select.select([sys.stdin], [], [], 0.5)
        if readable and not os.read(sys.stdin.fileno(), 4096):
            return True
        processes.reap_children()
    sys.stderr.write("ftpserver: %s exited by itself (status %s)\n" % (sys.argv[1], server.returncode))
    return False


def show_log(path, destination):
    """The launcher's capture of the server's output, then the logs the server
    wrote itself beside it (vsftpd's protocol log)."""
    if not destination:
        return
    shutil.copyfile(path, destination)
    folder = os.path.dirname(path)
    with open(destination, "ab") as out:
        for name in sorted(os.listdir(folder)):
            if name.endswith(".log") and name != os.path.basename(path):
                with open(os.path.join(folder, name), "rb") as log:
                    shutil.copyfileobj(log, out)


def main():
    options = parse()
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, on_signal)
    processes.become_subreaper()
    work = tempfile.mkdtemp(prefix="sapi-ftp-%s-" % options.kind)
    os.chmod(work, 0o755)
    log_path = os.path.join(work, "server.log")
    passive, server, status = None, None, 0
    try:
        passive = ports.PassiveBlock()
        with open(log_path, "wb") as log:
            server, port, uid = start(options, work, passive, log)
            print("UID %d" % uid, flush=True)
            print("PORT %d" % port, flush=True)
            if not supervise(server):
                status = 1
    except Stop:
        pass
    except Exception as error:
        sys.stderr.write("ftpserver: %s\n" % error)
        if os.path.exists(log_path):
            with open(log_path, errors="replace") as log:
                sys.stderr.write(log.read()[-4000:])
        status = 1
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        if server is not None:
            processes.stop_tree(server)
        processes.stop_descendants()
        kinds.cleanup(options.kind)
        if passive is not None:
            passive.release()
        if os.path.exists(log_path):
            show_log(log_path, options.log)
        shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
