#!/usr/bin/env bash
# The tour a newcomer takes first (./run demo): starts an FTP server on loopback
# with a small sample tree and walks it with sapihost, the reference host:
# describe, connect, list, enter a folder, ask about a file, download it, upload,
# create a folder, delete, close. Exits 0 when every step did what it should.
#   tools/demo.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
sapihost=$build/host/sapihost
python=/usr/bin/python3

bold=$'\e[1m'; dim=$'\e[2m'; plain=$'\e[0m'
[ -t 1 ] || { bold=; dim=; plain=; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sapihost-demo.XXXXXX")
chmod 755 "$work"
server_pid=
server_in=
stop_server() {
  if [ -n "$server_in" ]; then eval "exec $server_in>&-"; server_in=; fi
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}
cleanup() { stop_server; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() { echo "demo: FAILED: $*" >&2; exit 1; }
say() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }

# --- a small sample tree ------------------------------------------------------
root=$work/server
mkdir -p "$root/docs/drafts" "$root/media"
printf 'Welcome to the demo server.\nEverything here lives in %s.\n' "$root" > "$root/readme.txt"
printf 'How to use sapihost: see README.md.\n' > "$root/docs/guide.txt"
printf 'one\ntwo\nthree\n' > "$root/docs/notes.txt"
head -c 3145728 /dev/urandom > "$root/media/sample.bin"     # 3 MiB
printf 'A local file to upload.\n' > "$work/report.txt"

# --- an FTP server on loopback --------------------------------------------------
user=demo
export SAPIHOST_PASSWORD=demo-secret   # sapihost reads the password from here
port=
if [ -f tests/servers/ftpserver.py ]; then
  # The tests' launcher: picks a free port, prints "PORT n" once listening, and
  # stops the server when its stdin (our end of the coprocess) closes.
  coproc SERVER { exec "$python" tests/servers/ftpserver.py pyftpdlib --root "$root" \
      --user "$user" --password "$SAPIHOST_PASSWORD"; }
  server_pid=$SERVER_PID
  server_in=${SERVER[1]}
  while IFS= read -r -t 30 line <&"${SERVER[0]}"; do
    case $line in PORT\ *) port=${line#PORT }; break ;; esac
  done
else
  port=$("$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$python" -m pyftpdlib -i 127.0.0.1 -p "$port" -u "$user" -P "$SAPIHOST_PASSWORD" -d "$root" -w \
      > "$work/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 200); do
    ss -ltnH "sport = :$port" | grep -q . && break
    sleep 0.05
  done
fi
[ -n "$port" ] || fail "the FTP server did not start"
url="ftp://$user@127.0.0.1:$port/"

shown() {  # the words as a user would type them in a shell
  local word out=
  for word in "$@"; do
    if [[ $word =~ ^[A-Za-z0-9_./:@=+-]+$ ]]; then out+=" $word"; else out+=" '$word'"; fi
  done
  printf '%s' "${out# }"
}
run() {  # shows the command, then runs it
  printf '%s$ sapihost %s%s\n' "$dim" "$(shown "$@")" "$plain"
  "$sapihost" "$@"
}

say "1. What the module is: its type, identifier and the settings it asks for (no server needed)"
run describe | tee "$work/describe.out"
grep -q 'ServerPrimaryAddress' "$work/describe.out" || fail "describe did not list the server settings"

say "2. Connect and list the login folder (password from SAPIHOST_PASSWORD)"
echo "   FTP server (pyftpdlib) on 127.0.0.1:$port, serving $root"
run "$url" ls | tee "$work/ls.out"
grep -qx 'docs/' "$work/ls.out" && grep -qx 'readme.txt' "$work/ls.out" || fail "ls did not show the sample tree"

say "3. Several commands on one connection: enter a folder, show where we are, list it"
run "$url" cd docs pwd ls | tee "$work/cd.out"
grep -qx '/docs' "$work/cd.out" && grep -qx 'guide.txt' "$work/cd.out" || fail "cd/pwd/ls in docs"

say "4. Ask about a file; --trace shows every call into the module's table"
run --trace "${url}docs" info notes.txt 2>&1 | tee "$work/info.out"
grep -q 'AssetSize  *14' "$work/info.out" || fail "info did not report the size 14"

say "5. Download with progress; it ends when the server confirms the file complete"
echo "${dim}(sapihost asks the module for that; with --wait-for-growing the module keeps its own"
echo " wait of about ten seconds after the last data, for files still being written)${plain}"
run "$url" get media/sample.bin "$work/sample.bin"
cmp -s "$root/media/sample.bin" "$work/sample.bin" || fail "the downloaded file differs from the server's"
echo "   the 3 MiB copy is byte-identical"

say "6. Many files on one connection, one progress line: a wildcard (mget and mput do the same)"
mkdir -p "$work/many"
(cd "$work/many" && run "${url}docs" get '*.txt')
cmp -s "$root/docs/notes.txt" "$work/many/notes.txt" && [ -f "$work/many/guide.txt" ] || fail "get *.txt"

say "7. Upload a local file, and standard input"
run "$url" put "$work/report.txt" report.txt
echo "made by a pipe" | run "$url" put - docs/from-pipe.txt
cmp -s "$work/report.txt" "$root/report.txt" || fail "the upload did not arrive intact"
grep -qx 'made by a pipe' "$root/docs/from-pipe.txt" || fail "put - did not store standard input"

say "8. Create a folder (and the one above it), then look"
run "$url" mkdir archive/2026 -- ls archive
[ -d "$root/archive/2026" ] || fail "mkdir did not create archive/2026"

say "9. Delete a file; a file that is not there is an error with a plain explanation"
run "$url" rm report.txt ';' ls
[ ! -e "$root/report.txt" ] || fail "rm did not delete report.txt"
status=0; run "$url" rm no-such-file.txt || status=$?
[ "$status" = 1 ] || fail "rm of a missing file gave exit status $status, not 1"
echo "   (exit status $status)"

say "10. The shell: the same commands from a prompt, with history (here fed from a pipe)"
printf 'cd docs\nls\ncd ..\npwd\nhistory\nquit\n' | run "$url" shell | tee "$work/shell.out"
grep -q 'from-pipe.txt' "$work/shell.out" || fail "the shell did not list docs"

say "11. A wrong password is refused with the module's result code"
echo "${dim}(with SAPIHOST_PASSWORD=wrong)${plain}"
status=0; SAPIHOST_PASSWORD=wrong run "$url" ls || status=$?
[ "$status" = 1 ] || fail "a wrong password gave exit status $status, not 1"

stop_server
say "Done: every step passed. Server stopped; the connection was closed by each sapihost run."
