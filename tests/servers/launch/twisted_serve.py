"""Twisted's FTP server (twisted.protocols.ftp) as the launcher runs it: one user,
a real folder as its home, a fixed port and a passive block.

What it does unlike the other servers, kept as it is:
- after PASV it waits for the data connection and reads no other command until
  that comes; after 10 s it answers the PASV a second time ("550 ... internal
  server error") before the held commands' answers;
- MKD a/b makes missing parents;
- commands are read as Latin-1 while listings are written in UTF-8, so a
  non-ASCII name it lists cannot be asked for by any client;
- FEAT lists MDTM, PASV and SIZE: no EPSV, no MLSD, no TLS; PASV and PORT
  only, so no data connection over IPv6."""
import argparse
import os
import pwd

from twisted.cred.checkers import InMemoryUsernamePasswordDatabaseDontUse
from twisted.cred.portal import Portal
from twisted.internet import reactor
from twisted.protocols.ftp import BaseFTPRealm, FTPFactory
from twisted.python import filepath


class OneFolderRealm(BaseFTPRealm):
    def __init__(self, root):
        BaseFTPRealm.__init__(self, root)
        self.root = root

    def getHomeDirectory(self, avatarId):
        return filepath.FilePath(self.root)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--passive", required=True, help="FIRST-LAST")
    parser.add_argument("--idle-timeout", type=int, default=0)
    parser.add_argument("--uid", type=int, help="the account to serve as, once listening")
    options = parser.parse_args()
    # The protocol hands the checker names and passwords as text (decoded as
    # Latin-1), where the in-memory database keeps bytes: it is filled as text.
    checker = InMemoryUsernamePasswordDatabaseDontUse()
    checker.users = {options.user: options.password}
    factory = FTPFactory(Portal(OneFolderRealm(options.root), [checker]))
    factory.allowAnonymous = False
    first, last = (int(port) for port in options.passive.split("-"))
    factory.passivePortRange = range(first, last + 1)
    if options.idle_timeout:
        factory.timeOut = options.idle_timeout
    reactor.listenTCP(options.port, factory, interface=options.address)
    if options.uid is not None:
        os.setgroups([])
        os.setgid(pwd.getpwuid(options.uid).pw_gid)
        os.setuid(options.uid)
    reactor.run()


if __name__ == "__main__":
    main()
