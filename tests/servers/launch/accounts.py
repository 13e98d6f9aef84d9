"""The one system account vsftpd and inetutils-ftpd log in (through PAM, or crypt),
and a PAM service without pam_unix's 2-second delay after a wrong password.
inetutils-ftpd also wants the account's shell in /etc/shells, and chroots it into
its home when /etc/ftpchroot names it; both are set whoever asks first.

Launchers running side by side share both. Each registers its pid under a lock; the
last one out removes the account and the PAM file again."""
import fcntl
import os
import pwd
import subprocess

ACCOUNT = "sapiftp"
PAM_SERVICE = "sapiftp-test"
PAM_FILE = "/etc/pam.d/" + PAM_SERVICE
REGISTRY = "/tmp/sapi-ftp-account"
HOME = REGISTRY + "/home"  # empty; each inetutils session binds its root over it
FTPCHROOT = "/etc/ftpchroot"
PAM_TEXT = ("# Written by PelkSAPIFTP's test launcher (tests/servers); removed when it stops.\n"
            "auth    required pam_unix.so nodelay\n"
            "account required pam_unix.so\n"
            "session required pam_permit.so\n")


class _Locked:
    def __enter__(self):
        os.makedirs(REGISTRY, mode=0o755, exist_ok=True)
        self._descriptor = os.open(os.path.join(REGISTRY, "lock"), os.O_CREAT | os.O_RDWR, 0o644)
        fcntl.flock(self._descriptor, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exception):
        os.close(self._descriptor)


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False


def _live_users():
    """Registered launchers still running, with the password each of them set."""
    users = {}
    for name in os.listdir(REGISTRY):
        if name.isdigit():
            path = os.path.join(REGISTRY, name)
            if _alive(int(name)):
                with open(path) as entry:
                    users[int(name)] = entry.read()
            else:
                os.unlink(path)
    return users


def _ours(path):
    try:
        with open(path) as written:
            return written.read() == ACCOUNT + "\n"
    except OSError:
        return False


def acquire(user, password, inetutils=False):
    """Makes the account exist with `password` and returns its uid."""
    if user != ACCOUNT:
        raise RuntimeError("vsftpd and inetutils log in a system account; use --user %s" % ACCOUNT)
    with _Locked():
        others = _live_users()
        if any(other != password for other in others.values()):
            raise RuntimeError("another running vsftpd launcher set a different password for %s" % ACCOUNT)
        try:
            pwd.getpwnam(ACCOUNT)
        except KeyError:
            os.makedirs(HOME, mode=0o755, exist_ok=True)
            subprocess.run(["useradd", "--no-create-home", "--home-dir", HOME, "--shell",
                            "/bin/sh", ACCOUNT], check=True)
        if pwd.getpwnam(ACCOUNT).pw_dir != HOME:  # made by an older launcher
            os.makedirs(HOME, mode=0o755, exist_ok=True)
            subprocess.run(["usermod", "--home", HOME, "--shell", "/bin/sh", ACCOUNT], check=True)
        if inetutils and not os.path.exists(FTPCHROOT):
            with open(FTPCHROOT, "w") as chroot:
                chroot.write(ACCOUNT + "\n")
        if not others:
            subprocess.run(["chpasswd"], input="%s:%s\n" % (ACCOUNT, password), text=True, check=True)
        with open(PAM_FILE, "w") as pam:
            pam.write(PAM_TEXT)
        with open(os.path.join(REGISTRY, str(os.getpid())), "w") as entry:
            entry.write(password)
        return pwd.getpwnam(ACCOUNT).pw_uid


def release():
    with _Locked():
        entry = os.path.join(REGISTRY, str(os.getpid()))
        if os.path.exists(entry):
            os.unlink(entry)
        if _live_users():
            return
        if os.path.exists(PAM_FILE):
            os.unlink(PAM_FILE)
        if _ours(FTPCHROOT):
            os.unlink(FTPCHROOT)
        try:
            pwd.getpwnam(ACCOUNT)
        except KeyError:
            return
        subprocess.run(["userdel", ACCOUNT], check=False)
