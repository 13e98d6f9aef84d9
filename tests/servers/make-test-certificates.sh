#!/usr/bin/env bash
# Makes the certificates the TLS tests serve, in DIR (made if missing):
#   ca.crt                   a private CA
#   server.crt/.key          from that CA, for localhost and 127.0.0.1
#   wrongname.crt/.key       from that CA, for another host
#   expired.crt/.key         from that CA, for localhost and 127.0.0.1, expired in 2020
#   self.crt/.key            self-signed, for localhost and 127.0.0.1
# Each key is unencrypted; everything is readable by the servers' accounts.
set -euo pipefail
dir=${1:?usage: make-test-certificates.sh DIR}
mkdir -p "$dir"; cd "$dir"
ssl() { openssl "$@" 2>/dev/null; }
san="subjectAltName=DNS:localhost,IP:127.0.0.1"

ssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Test FTP CA" -days 30 -keyout ca.key -out ca.crt
ssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -addext "$san" -days 30 \
    -keyout self.key -out self.crt

signed() {  # name subject-alt-name [openssl ca date options...]
  local name=$1 alt=$2; shift 2
  ssl req -new -newkey rsa:2048 -nodes -subj /CN=localhost -addext "$alt" \
      -keyout "$name.key" -out "$name.csr"
  ssl ca -batch -config ca.cnf -cert ca.crt -keyfile ca.key -in "$name.csr" -out "$name.crt" "$@"
}
# "openssl ca" rather than "x509 -req": it can date a certificate in the past.
mkdir -p ca.db; : > ca.db/index.txt; echo 1000 > ca.db/serial
printf '%s\n' '[ca]' 'default_ca = testca' '[testca]' 'database = ca.db/index.txt' \
    'new_certs_dir = ca.db' 'serial = ca.db/serial' 'default_md = sha256' 'policy = any' \
    'copy_extensions = copy' 'unique_subject = no' 'default_days = 30' '[any]' \
    'commonName = supplied' > ca.cnf
signed server "$san"
signed wrongname "subjectAltName=DNS:other.example"
signed expired "$san" -startdate 20200101000000Z -enddate 20200102000000Z
chmod 755 .; chmod 644 ./*.crt ./*.key
