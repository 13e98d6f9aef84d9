"""Pieces of the FTP server launcher: ports, processes, accounts, and one module per server kind."""
