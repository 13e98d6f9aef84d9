#!/usr/bin/env bash
# OpenSSL 3 for the 32-bit Windows DLL: static libraries cross-built with
# MinGW-w64 (i686) from Debian's own source package, so that Windows and Linux
# run the same TLS code and the DLL still loads nothing but system DLLs.
# Built once per machine and kept outside the checkout, in
#   ${XDG_CACHE_HOME:-~/.cache}/pelksapiftp/openssl-<version>-<options hash>
# (include/, lib/, and OpenSSL's LICENSE.txt), so every clone finds it there;
# a newer source version in the archive, other options or another cross
# compiler make a new one. SAPI_OPENSSL_CACHE names another cache folder.
#   tools/build-openssl-mingw.sh        prints the install folder when done
# The build runs at the lowest priority: it takes a few minutes of both cores.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${SAPI_OPENSSL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pelksapiftp}

# no-shared: libssl.a and libcrypto.a only; no-module and no-engine: nothing
# is loaded from disk at run time; no-autoload-config: no openssl.cnf either,
# whatever the machine has; no-pinshared: OpenSSL would otherwise pin the
# module it lives in, and the DLL could never be unloaded; no-tests: the
# libraries alone; no-asm: the 32-bit assembly of this version asks for ELF
# relocations that a COFF object cannot hold (bf-586.S: BFD_RELOC_386_GOTPC).
options=(mingw no-shared no-module no-engine no-tests no-asm no-pinshared no-autoload-config
         --cross-compile-prefix=i686-w64-mingw32-)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
for tool in i686-w64-mingw32-gcc dpkg-source make perl flock; do
  command -v "$tool" >/dev/null || { echo "build-openssl-mingw: $tool missing (run tools/install-deps.sh)" >&2; exit 1; }
done
key=$( { printf '%s\n' "${options[@]}"; i686-w64-mingw32-gcc --version | head -n 1; } | sha256sum | cut -c1-12)
complete() { [ -f "$1/lib/libssl.a" ] && [ -f "$1/lib/libcrypto.a" ] && [ -f "$1/LICENSE.txt" ]; }

# Debian's source packages come from the same archive as its binaries: a
# deb-src twin of each configured Debian entry.
sources=/etc/apt/sources.list.d/debian-src.sources
if ! apt-get source --print-uris openssl >/dev/null 2>&1; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$sources" >/dev/null
  else
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list | as_root tee "${sources%.sources}.list" >/dev/null
  fi
  as_root apt-get update >/dev/null
fi

mkdir -p "$cache"
# One build at a time on this machine; a clone that waited finds it done.
exec 9>"$cache/openssl.lock"
flock 9
work=$(mktemp -d "$cache/openssl-src.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Newest version first; a mirror may lack one archive's sources (the security
# archive's, here), so the next one is tried.
fetched=""
for version in $(apt-cache showsrc openssl | sed -n 's/^Version: //p' | sort -rV); do
  prefix=$cache/openssl-$version-$key
  if complete "$prefix"; then echo "$prefix"; exit 0; fi
  if (cd "$work" && apt-get source --download-only "openssl=$version" >/dev/null 2>&1); then
    fetched=$version; break
  fi
  rm -f "$work"/openssl_*
done
[ -n "$fetched" ] || { echo "build-openssl-mingw: no source of openssl could be fetched" >&2; exit 1; }
(cd "$work" && dpkg-source -x ./openssl_*.dsc src >"$work/unpack.log" 2>&1) ||
  { cat "$work/unpack.log" >&2; exit 1; }
echo "build-openssl-mingw: openssl $fetched into $prefix" >&2
started=$(date +%s)
(
  cd "$work/src"
  # OpenSSL's own compiler warnings are kept in the log, shown if the build fails.
  {
    nice -n 19 ./Configure "${options[@]}" --prefix="$work/install" --libdir=lib &&
    nice -n 19 make -j"$(nproc 2>/dev/null || echo 2)" build_libs &&
    nice -n 19 make install_dev
  } >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; exit 1; }
  cp LICENSE.txt "$work/install/"   # shipped with the DLL that links it in
)
rm -rf "$prefix"
mv "$work/install" "$prefix"
echo "build-openssl-mingw: built in $(( $(date +%s) - started )) s" >&2
echo "$prefix"
