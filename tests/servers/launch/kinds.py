"""How each server kind is configured and started. Each start() writes its files into
the launcher's temp folder `work` and returns (argv, uid that must own the root)."""
import os
import pwd
import subprocess
import sys

from . import accounts

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
UNPACKED = os.path.join(REPO, ".deps", "ftp-servers")
VIRTUAL_UID = 2121  # proftpd and pure-ftpd users need no system account


def _write(path, text, mode=0o644):
    with open(path, "w") as out:
        out.write(text)
    os.chmod(path, mode)


def _crypt(password):
    return subprocess.run(["openssl", "passwd", "-6", "-stdin"], input=password, text=True,
                          capture_output=True, check=True).stdout.strip()


def _unpacked(relative):
    path = os.path.join(UNPACKED, relative)
    if not os.access(path, os.X_OK):
        raise RuntimeError("%s is missing: run tools/install-deps.sh" % path)
    return path


def pyftpdlib(o, work, port, passive):
    argv = [sys.executable, os.path.join(HERE, "pyftpdlib_serve.py"), "--root", o.root,
            "--user", o.user, "--password", o.password, "--address", o.address,
            "--port", str(port), "--passive", "%d-%d" % (passive.first, passive.last),
            "--failed-login-delay", "3" if o.slow_failed_logins else "0"]
    if o.size_in_ascii:
        argv.append("--size-in-ascii")
    for name in o.read_only:
        argv += ["--read-only", name]
    if o.idle_timeout:
        argv += ["--idle-timeout", str(o.idle_timeout)]
    if o.burst_bytes:
        argv += ["--burst-bytes", str(o.burst_bytes)]
    if o.odd_listing_lines:
        argv.append("--odd-listing-lines")
    if o.tls:
        _explicit_only("pyftpdlib", o)
        argv += ["--tls-cert", o.tls_cert, "--tls-key", o.tls_key]
    return argv, os.getuid()


def vsftpd(o, work, port, passive):
    uid = accounts.acquire(o.user, o.password)
    # exist_ok: a start retried after another process took the port runs again
    # in the same work folder.
    os.makedirs(os.path.join(work, "empty"), exist_ok=True)
    ipv6 = ":" in o.address
    lines = [
        "listen=%s" % ("NO" if ipv6 else "YES"),
        "listen_ipv6=%s" % ("YES" if ipv6 else "NO"),
        ("listen_address6=%s" if ipv6 else "listen_address=%s") % o.address,
        "listen_port=%d" % port,
        "background=NO",
        "anonymous_enable=NO",
        "local_enable=YES",
        "write_enable=YES",
        "local_umask=022",
        "local_root=%s" % o.root,
        "chroot_local_user=%s" % ("NO" if o.no_chroot else "YES"),
        "allow_writeable_chroot=YES",
        "secure_chroot_dir=%s" % os.path.join(work, "empty"),
        # Our own PAM service: pam_unix without its 2 s delay after a wrong password.
        "pam_service_name=%s" % (accounts.PAM_SERVICE if not o.slow_failed_logins else "sapiftp-no-such-service"),
        "delay_failed_login=%d" % (1 if o.slow_failed_logins else 0),
        "pasv_min_port=%d" % passive.first,
        "pasv_max_port=%d" % passive.last,
        "seccomp_sandbox=NO",
        "utf8_filesystem=YES",
        "async_abor_enable=YES",
        "xferlog_enable=YES",
        "vsftpd_log_file=%s" % os.path.join(work, "vsftpd.log"),
        "log_ftp_protocol=YES",
    ]
    if o.idle_timeout:
        lines.append("idle_session_timeout=%d" % o.idle_timeout)
    if o.tls:
        lines += _vsftpd_tls(o)
    config = os.path.join(work, "vsftpd.conf")
    _write(config, "\n".join(lines) + "\n", 0o600)
    return ["/usr/sbin/vsftpd", config], uid


def proftpd(o, work, port, passive):
    home = o.root
    _write(os.path.join(work, "ftpd.passwd"), "%s:%s:%d:%d::%s:/bin/sh\n"
           % (o.user, _crypt(o.password), VIRTUAL_UID, VIRTUAL_UID, home), 0o600)
    _write(os.path.join(work, "ftpd.group"), "%s:x:%d:\n" % (o.user, VIRTUAL_UID))
    ipv6 = ":" in o.address
    config = _proftpd_modules(o) + """ServerType          standalone
ServerName          "proftpd test"
DefaultAddress      {address}
SocketBindTight     on
UseIPv6             {ipv6}
Port                {port}
PassivePorts        {first} {last}
User                nobody
Group               nogroup
PidFile             {work}/proftpd.pid
ScoreboardFile      {work}/proftpd.scoreboard
DelayTable          {work}/proftpd.delay
SystemLog           {work}/proftpd.log
TransferLog         {work}/xferlog
WtmpLog             off
UseReverseDNS       off
AuthOrder           mod_auth_file.c
AuthUserFile        {work}/ftpd.passwd
AuthGroupFile       {work}/ftpd.group
RequireValidShell   off
UseFtpUsers         off
DefaultRoot         ~
AllowOverwrite      on
Umask               022
<IfModule mod_delay.c>
  DelayEngine       {delay}
</IfModule>
<IfModule mod_ident.c>
  IdentLookups      off
</IfModule>
{idle}""".format(idle="TimeoutIdle         %d\n" % o.idle_timeout if o.idle_timeout else "",
           address=o.address, ipv6="on" if ipv6 else "off", port=port, first=passive.first,
           last=passive.last, work=work, delay="on" if o.slow_failed_logins else "off")
    config += _proftpd_tls(o, work)
    if o.digest:
        config += "DigestEngine        on\n"
    path = os.path.join(work, "proftpd.conf")
    _write(path, config)
    return [_unpacked("usr/sbin/proftpd"), "-n", "-c", path], VIRTUAL_UID


def pureftpd(o, work, port, passive):
    passwd = os.path.join(work, "pureftpd.passwd")
    database = os.path.join(work, "pureftpd.pdb")
    # user:hash:uid:gid:gecos:home, "/./" chroots there, then 12 empty limit fields.
    _write(passwd, "%s:%s:%d:%d::%s/./::::::::::::\n"
           % (o.user, _crypt(o.password), VIRTUAL_UID, VIRTUAL_UID, o.root.rstrip("/")), 0o600)
    subprocess.run([_unpacked("usr/bin/pure-pw"), "mkdb", database, "-f", passwd], check=True,
                   stdout=subprocess.DEVNULL)
    # pure-ftpd admits at most half as many clients as it has passive ports; the
    # block of 100 gives the 50 it allows by default. Its delay after a wrong
    # password (4-6 s) is built in; no option lowers it.
    return [_unpacked("usr/sbin/pure-ftpd"), "-S", "%s,%d" % (o.address, port),
            "-l", "puredb:" + database, "-E", "-H", "-p", "%d:%d" % (passive.first, passive.last),
            "-c", "50", "-C", "50"] + _pure_idle(o.idle_timeout) + _pure_tls(o), VIRTUAL_UID


def _pure_idle(seconds):
    # pure-ftpd counts its idle time in minutes.
    return ["-I", str(max(1, (seconds + 59) // 60))] if seconds else []


def _explicit_only(kind, o):
    if o.tls == "implicit":
        raise RuntimeError("%s offers no implicit TLS" % kind)


# TLS on both connections, and the data connection must resume the control
# connection's session (vsftpd's default, spelt out).
def _vsftpd_tls(o):
    return ["ssl_enable=YES", "rsa_cert_file=%s" % o.tls_cert, "rsa_private_key_file=%s" % o.tls_key,
            "force_local_logins_ssl=YES", "force_local_data_ssl=YES", "require_ssl_reuse=YES",
            "implicit_ssl=%s" % ("YES" if o.tls == "implicit" else "NO")]


# mod_tls lives in its own package and mod_digest in proftpd's, both unpacked
# beside proftpd; these lines must come first.
def _proftpd_modules(o):
    names = (["mod_tls"] if o.tls else []) + (["mod_digest"] if o.digest else [])
    if not names:
        return ""
    folder = os.path.join(UNPACKED, "usr/lib/proftpd")
    lines = ["ModulePath          %s" % folder]
    for name in names:
        if not os.path.exists(os.path.join(folder, name + ".so")):
            raise RuntimeError("%s.so is missing: run tools/install-deps.sh" % os.path.join(folder, name))
        lines.append("LoadModule          %s.c" % name)
    return "\n".join(lines) + "\n"


def _proftpd_tls(o, work):
    if not o.tls:
        return ""
    lines = ["TLSEngine           on", "TLSLog              %s/tls.log" % work,
             "TLSRSACertificateFile    %s" % o.tls_cert, "TLSRSACertificateKeyFile %s" % o.tls_key,
             "TLSRequired         on",
             "TLSProtocol         %s" % ("TLSv" + o.tls_version if o.tls_version else "TLSv1.2 TLSv1.3")]
    if o.tls == "implicit":
        lines.append("TLSOptions          UseImplicitSSL")
    return "\n".join(lines) + "\n"


def _pure_tls(o):
    if not o.tls:
        return []
    _explicit_only("pure-ftpd", o)
    return ["-Y", "3", "-2", "%s,%s" % (o.tls_cert, o.tls_key)]


def twisted(o, work, port, passive):
    _explicit_only("twisted", o)
    if o.tls:
        raise RuntimeError("Twisted's FTP server has no TLS")
    # Run as nobody, so that a folder closed to the account is closed to it.
    uid = pwd.getpwnam("nobody").pw_uid
    argv = [sys.executable, os.path.join(HERE, "twisted_serve.py"), "--root", o.root, "--user", o.user,
            "--password", o.password, "--address", o.address, "--port", str(port),
            "--passive", "%d-%d" % (passive.first, passive.last), "--uid", str(uid)]
    if o.idle_timeout:
        argv += ["--idle-timeout", str(o.idle_timeout)]
    return argv, uid


# inetutils-ftpd has no listener of its own: socat hands each connection to a
# fresh ftpd as its stdin and stdout, as inetd does (urgent data included). It
# logs in a system account, chrooted (/etc/ftpchroot) into the account's home;
# each session sees this launcher's root there, bound over that home in a mount
# namespace of its own, so launchers side by side each serve their own root.
# It reads a 0xFF byte in a command as Telnet's IAC, so no name holding one
# reaches it. It hears an urgent ABOR only once a session: it jumps out of its
# SIGURG handler and leaves SIGURG blocked (SigBlk in /proc shows it), so a
# later ABOR waits until the file is sent, and a data connection closed before
# that kills the session (SIGPIPE).
def inetutils(o, work, port, passive):
    if o.tls:
        raise RuntimeError("inetutils-ftpd has no TLS")
    uid = accounts.acquire(o.user, o.password, inetutils=True)
    script = os.path.join(work, "ftpd-session.sh")
    _write(script, """#!/bin/sh
exec unshare --mount --propagation private sh -c 'mount --bind "$0" "$1" && exec "$2" -u 022 %s' %s %s %s
""" % ("-t %d" % o.idle_timeout if o.idle_timeout else "", o.root, accounts.HOME, _unpacked("usr/sbin/ftpd")),
           0o755)
    listen = "TCP6-LISTEN" if ":" in o.address else "TCP-LISTEN"
    return ["socat", "%s:%d,bind=%s,reuseaddr,fork" % (listen, port, o.address), "EXEC:%s,nofork" % script], uid


KINDS = {"pyftpdlib": pyftpdlib, "vsftpd": vsftpd, "proftpd": proftpd, "pureftpd": pureftpd,
         "inetutils": inetutils, "twisted": twisted}


def cleanup(kind):
    if kind in ("vsftpd", "inetutils"):
        accounts.release()
