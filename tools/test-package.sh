#!/usr/bin/env bash
# The Debian package as a user gets it: unpacked into a throw-away root, its
# runtime dependencies declared, every file where it belongs, lintian content
# with it, and the unpacked sapihost run from there: --version, and a download
# from a loopback FTP server (pyftpdlib) through the installed module, which
# sapihost finds by itself.
# The server is ended on every way out.
#   tools/test-package.sh [folder with the .deb]   (default: dist, as ./run package leaves it)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=${1:-dist}

PY=""
for p in /usr/bin/python3 $(which -a python3 2>/dev/null); do
  if "$p" -c 'import pyftpdlib' 2>/dev/null; then PY=$p; break; fi
done
[ -n "$PY" ] || { echo "test-package: no python3 with pyftpdlib (run tools/install-deps.sh)" >&2; exit 1; }
debs=("$dist"/pelksapiftp_*.deb)
[ -f "${debs[0]}" ] || { echo "test-package: no .deb in $dist (run ./run package)" >&2; exit 1; }
deb=${debs[0]}

work=$(mktemp -d /tmp/sapi-package.XXXXXX)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

problems=()
echo "== package: $(basename "$deb")"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libgcc-s1; do
  grep -q "\\b$library\\b" <<<"$depends" || problems+=("Depends lacks $library: '$depends'")
done
[[ "$(basename "$deb")" == pelksapiftp_"${version}"_*.deb ]] || problems+=("file name without the version $version")

installed=$work/root
dpkg-deb -x "$deb" "$installed"
module=$(find "$installed/usr/lib" -path '*/PelkSAPIFTP/PelkSAPIFTP.so' | head -n 1)
[ -n "$module" ] || problems+=("no <libdir>/PelkSAPIFTP/PelkSAPIFTP.so")
doc=usr/share/doc/pelksapiftp
for file in usr/bin/sapihost usr/include/ServerApi.h usr/share/man/man1/sapihost.1.gz \
            $doc/minimal_host.c $doc/README.md $doc/copyright $doc/changelog.gz; do
  [ -f "$installed/$file" ] || problems+=("$file missing")
done
# Debian's own checker: no error and no warning.
if ! lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
  problems+=("lintian: $(grep -E '^[EW]:' "$work/lintian.log" || cat "$work/lintian.log")")
fi
gzip -dc "$installed/$doc/changelog.gz" 2>/dev/null | head -n 1 | grep -qF "pelksapiftp ($version)" ||
  problems+=("the changelog's newest entry is not $version")

# No --module: the installed sapihost finds its module by itself.
out=$("$installed/usr/bin/sapihost" --version 2>&1) || problems+=("--version failed: $out")
grep -q "^sapihost $version " <<<"$out" || problems+=("--version does not name $version")
grep -qF "module    $module" <<<"$out" || problems+=("--version names another module")
grep -q "^build     PelkSAPIFTP $version (FTP client: " <<<"$out" || problems+=("--version: no module build")
grep -q '^serves    FTP {' <<<"$out" || problems+=("--version: no identity")

mkdir -p "$work/ftp" "$work/local"
head -c 200000 /dev/urandom >"$work/ftp/sample.bin"
"$PY" "$root/tools/ftpserver-wine.py" --root "$work/ftp" --port-file "$work/port" 2>"$work/ftp.log" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "test-package: FTP server did not start" >&2; cat "$work/ftp.log" >&2; exit 1; }
# The shipped module waits ten seconds at the end of every download.
if ! SAPIHOST_PASSWORD=pass timeout 120 "$installed/usr/bin/sapihost" --no-progress \
     "ftp://user@127.0.0.1:$(cat "$work/port")/" get sample.bin "$work/local/sample.bin" \
     >"$work/get.log" 2>&1 </dev/null; then
  problems+=("the download failed: $(cat "$work/get.log")")
fi
cmp -s "$work/ftp/sample.bin" "$work/local/sample.bin" || problems+=("the downloaded file differs")

if [ ${#problems[@]} -ne 0 ]; then
  printf 'FAIL package: %s\n' "${problems[@]}" >&2
  exit 1
fi
echo "ok   package $version: Depends: $depends; files in place; lintian; --version; a download through the installed module"
