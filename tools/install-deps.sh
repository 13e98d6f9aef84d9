#!/usr/bin/env bash
# Installs everything the build, the tests, the demo and the benchmarks need on a
# fresh Debian 12 machine. Safe to run again: it only installs what is missing.
#   tools/install-deps.sh [linux|windows|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
want() { for p in "$@"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p"); done; }

want cmake ninja-build ccache g++ libgtest-dev libgmock-dev clang libclang-rt-14-dev \
     python3 python3-pyftpdlib vsftpd curl lftp openssl iproute2 procps dpkg-dev file \
     libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3 libidn2-0 \
     libacl1 libcap2 libcrypt1 libpam0g libssl3 libsodium23 zlib1g libssl-dev python3-openssl lintian \
     python3-twisted socat
if [ "$what" != linux ]; then
  want g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 make perl xz-utils
fi

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  # Keep apt from starting the FTP daemons it installs: the tests start their own.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | as_root tee /usr/sbin/policy-rc.d >/dev/null
    as_root chmod 755 /usr/sbin/policy-rc.d
    trap 'as_root rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get -o DPkg::Lock::Timeout=600 update
  as_root apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
fi

# vsftpd, proftpd, pure-ftpd and inetutils-ftpd conflict in apt; the last three
# run unpacked from their packages in a private folder, which changes nothing
# on the system (inetutils-ftpd under socat, as inetd would run it).
servers=.deps/ftp-servers
# proftpd's TLS is a loadable module of its own package (mod_tls.so); its
# digests (HASH, XSHA256, ...) one of proftpd-core's (mod_digest.so).
if [ ! -x "$servers/usr/sbin/proftpd" ] || [ ! -x "$servers/usr/sbin/pure-ftpd" ] || [ ! -x "$servers/usr/sbin/ftpd" ] ||
   [ ! -e "$servers/usr/lib/proftpd/mod_tls.so" ] || [ ! -e "$servers/usr/lib/proftpd/mod_digest.so" ]; then
  rm -rf "$servers"; mkdir -p "$servers/debs"
  (cd "$servers/debs" && apt-get download proftpd-core proftpd-mod-crypto pure-ftpd inetutils-ftpd)
  for d in "$servers"/debs/*.deb; do dpkg-deb -x "$d" "$servers"; done
fi
