"""The benchmark behind ./run bench: sapihost on the plug-in against curl and
lftp, same server, same bytes, same run. It prints; it never fails on numbers.

Fair by construction: in every repetition each client runs once per case, the
order of the clients rotates from one repetition to the next, every ratio is
taken within one repetition, and each figure is min / median / max over the
repetitions. Wall time is taken around the client process, CPU time (user +
system) and peak memory from the kernel's account of it (bench/runs.py). A
failed or stalled run is flagged and left out of the ratios.

The latency cases (round trips per operation, a bulk transfer) run over a
slow link: the server in one network namespace, the clients in another, every
packet between them held for half the round trip by bench/delay_line
(bench/slow_link.py). Round trips are counted twice: the client's flights,
from the packets, and the commands in the server's log.

    bench.py BUILD_DIR
Environment (bigger runs): BENCH_REPS (7), BENCH_MIB (1024), BENCH_DELAYED_MIB
(256), BENCH_ENTRIES (100000), BENCH_BIG_ENTRIES (1000000; its listing from vsftpd
only), BENCH_FILES (200), BENCH_RTT_MS (40), BENCH_SERVERS
("vsftpd,pyftpdlib"), BENCH_ONLY (a comma list of: bulk, many, listing, trips,
delayed, parallel, tls, verify, growing), BENCH_TAG (names the namespaces) and BENCH_WORK (the work
folder; tools/bench.sh sets both and removes what they name however it ends). The
tls case moves BENCH_MIB each way over explicit FTPS from vsftpd, sapihost
against curl --ssl-reqd, both verifying the server against the same private CA.
The verify case downloads BENCH_MIB from proftpd with mod_digest, sapihost with
and without --verify=require (the server then reads the whole file again to
hash it). The growing case follows a file written at BENCH_GROWING_MIB_PER_S (4)
for BENCH_GROWING_SECONDS (10) from vsftpd (get --follow=BENCH_FOLLOW_QUIET, 2)
and times the end of the download from the writer's last byte.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from runs import PASSWORD, Run, flags, mark_stalls, median_ratio, ratio_text, repeat, rotated, spread, timed
from slow_link import SERVER_ADDRESS, SlowLink

HERE = os.path.dirname(os.path.abspath(__file__))
LAUNCHER = os.path.join(HERE, "..", "tests", "servers", "ftpserver.py")
PYTHON = "/usr/bin/python3"
USER = "sapiftp"  # the launcher's account (vsftpd takes no other)
LOOPBACK = "127.0.0.1"


def setting(name, default):
    return type(default)(os.environ.get(name, default))


REPS = setting("BENCH_REPS", 7)
MIB = setting("BENCH_MIB", 1024)
DELAYED_MIB = setting("BENCH_DELAYED_MIB", 256)
ENTRIES = setting("BENCH_ENTRIES", 100000)
BIG_ENTRIES = setting("BENCH_BIG_ENTRIES", 1000000)
FILES = setting("BENCH_FILES", 200)
RTT_MS = setting("BENCH_RTT_MS", 40)
SERVERS = setting("BENCH_SERVERS", "vsftpd,pyftpdlib").split(",")
ONLY = set(setting("BENCH_ONLY", "bulk,many,listing,trips,delayed,parallel,tls,verify,growing").split(","))
# The growing case: a writer appends GROWING_MIB_PER_S for GROWING_SECONDS while
# sapihost follows the file, ending after FOLLOW_QUIET seconds without growth.
GROWING_SECONDS = setting("BENCH_GROWING_SECONDS", 10)
GROWING_MIB_PER_S = setting("BENCH_GROWING_MIB_PER_S", 4)
FOLLOW_QUIET = setting("BENCH_FOLLOW_QUIET", 2)
TAG = setting("BENCH_TAG", str(os.getpid()))
# The million-entry listing from one server: vsftpd, which lists fastest.
BIG_LISTING_SERVER = "vsftpd" if "vsftpd" in SERVERS else SERVERS[0]
CERTIFICATES = os.path.join(HERE, "..", "tests", "servers", "make-test-certificates.sh")


# ---- servers ---------------------------------------------------------------------

class ServerUnstartable(Exception):
    pass


class Server:
    """A real FTP server through the tests' launcher; stopped when stdin closes.
    Over the slow link it runs in the server's namespace, on its address."""

    def __init__(self, kind, root, extra=(), link=None):
        self.kind = kind
        self.address = SERVER_ADDRESS if link else LOOPBACK
        self.process = subprocess.Popen([PYTHON, LAUNCHER, kind, "--root", root, "--address", self.address] +
                                        list(extra), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                        preexec_fn=link.enter_server if link else None)
        self.port = None
        for line in self.process.stdout:
            if line.startswith("PORT "):
                self.port = int(line.split()[1])
                break
        if self.port is None:
            self.process.wait()
            raise ServerUnstartable(kind)
        self.log = self._find_log()

    def _find_log(self):
        """The server's own log, in the launcher's work folder: the folder of the
        server.log it holds open (vsftpd writes its protocol log beside it)."""
        folder = os.path.join("/proc", str(self.process.pid), "fd")
        for fd in os.listdir(folder):
            target = os.readlink(os.path.join(folder, fd))
            if target.endswith("/server.log"):
                name = "vsftpd.log" if self.kind == "vsftpd" else "server.log"
                return os.path.join(os.path.dirname(target), name)
        raise RuntimeError("no log of %s found" % self.kind)

    def commands(self):
        """The commands the server has logged so far."""
        marker = "FTP command: " if self.kind == "vsftpd" else "] <- "
        found = []
        if not os.path.exists(self.log):
            return found
        with open(self.log, errors="replace") as log:
            for line in log:
                at = line.find(marker)
                if at >= 0:
                    text = line[at + len(marker):].strip().strip('"')
                    found.append(text.split('", "')[-1].split()[0].upper() if text else "?")
        return found

    def stop(self):
        self.process.stdin.close()
        self.process.wait(timeout=60)


# ---- clients ---------------------------------------------------------------------

class Clients:
    """The command lines of each client for each operation, against one server."""

    def __init__(self, build, server, tls_ca=None, link=None):
        self.tls_ca = tls_ca
        self.enter = link.enter_client if link else None
        self.sapihost = os.path.join(build, "host", "sapihost")
        self.raw = os.path.join(build, "bench", "raw_copy")
        where = "%s:%d" % (server.address, server.port)
        self.url = "ftp://%s@%s/" % (USER, where)
        self.curl_url = "ftp://%s:%s@%s/" % (USER, PASSWORD, where)
        self.lftp_open = ("set net:max-retries 1; set ftp:ssl-allow no; set xfer:clobber on; "
                          "set cmd:fail-exit yes; open -u %s,%s ftp://%s; " % (USER, PASSWORD, where))

    def run(self, command, cwd=None):
        return timed(command, cwd, self.enter)

    def host(self, *words, folder=""):
        secure = ["--tls", "--tls-ca", self.tls_ca] if self.tls_ca else []
        return [self.sapihost, "--no-progress"] + secure + [self.url + folder] + list(words)

    def curl(self, *words):
        secure = ["--ssl-reqd", "--cacert", self.tls_ca] if self.tls_ca else []
        return ["curl", "-s"] + secure + list(words)

    def lftp(self, script):
        return ["lftp", "-c", self.lftp_open + script]

    def download(self, name, out):
        return {"sapihost": self.host("get", name, out),
                "curl": self.curl("-o", out, self.curl_url + name),
                "lftp": self.lftp("get %s -o %s" % (name, out))}

    def upload(self, local, name):
        return {"sapihost": self.host("put", local, name),
                "curl": self.curl("-T", local, self.curl_url + name),
                "lftp": self.lftp("put %s -o %s" % (local, name))}

    def many(self, folder, count, out):
        return {"sapihost": self.host("get", "*.bin", folder=folder + "/"),
                "curl": ["curl", "-s", "%s%s/f[000-%03d].bin" % (self.curl_url, folder, count - 1),
                         "-o", os.path.join(out, "f#1.bin")],
                "lftp": self.lftp("cd %s; mget -O %s *.bin" % (folder, out))}

    def listing(self, folder):
        """lftp's cls reads the entries as the others do; its ls passes the text through."""
        return {"sapihost": self.host("ls", folder) if folder else self.host("ls"),
                "curl": ["curl", "-s", self.curl_url + (folder + "/" if folder else "")],
                "lftp": self.lftp("cls -1 %s" % (folder + "/" if folder else ""))}

    def info(self, name):
        return {"sapihost": self.host("info", name),
                "curl": ["curl", "-s", "-I", self.curl_url + name],
                "lftp": self.lftp("cls -l %s" % name)}


def same_file(a, b, who):
    if subprocess.run(["cmp", "-s", a, b]).returncode != 0:
        raise RuntimeError("%s: the transferred file differs" % who)


# ---- the cases -------------------------------------------------------------------

def bulk(clients, work, kind, name, mib, label, goals):
    """Download and upload of one large file; the raw copy only on plain loopback,
    and over TLS only sapihost and curl."""
    big = os.path.join(work, "root", name)
    local = os.path.join(work, "up-" + name)
    out = os.path.join(work, "out.bin")
    down = clients.download(name, out)
    if clients.tls_ca:
        down.pop("lftp")
    elif not label:
        down["raw"] = [clients.raw, big, out]
    gone = lambda: os.path.exists(out) and os.remove(out)
    results = repeat("%d MiB download from %s%s" % (mib, kind, label), list(down),
                     lambda who: clients.run(down[who]), REPS, lambda who: same_file(big, out, who), gone)
    up = clients.upload(local, "up.bin")
    if clients.tls_ca:
        up.pop("lftp")
    stored = os.path.join(work, "root", "up.bin")
    ups = repeat("%d MiB upload to %s%s" % (mib, kind, label), list(up), lambda who: clients.run(up[who]), REPS,
                 lambda who: same_file(local, stored, who))
    for way, found in (("download", results), ("upload", ups)):
        cpu = median_of(found["sapihost"], "cpu") / (mib / 1024)
        curl_cpu = median_of(found["curl"], "cpu") / (mib / 1024)
        goals.append("%d MiB %s, %s%s: time %s of curl's, CPU %.2f s/GiB against curl's %.2f"
                     % (mib, way, kind, label, ratio_text(median_ratio(found, "curl")), cpu, curl_cpu))


def median_of(runs, field):
    values = [getattr(r, field) for r in runs if r.clean]
    return statistics.median(values) if values else float("nan")


def fetch_many(clients, out, commands, case):
    """Each client's run of `commands` into a fresh `out`, checked for every file."""
    def run_one(name):
        os.makedirs(out)
        return clients.run(commands[name], cwd=out)

    def check(name):
        got = len(os.listdir(out))
        if got != FILES:
            raise RuntimeError("%s fetched %d of %d files" % (name, got, FILES))

    return repeat(case, list(commands), run_one, REPS, check, lambda: shutil.rmtree(out, ignore_errors=True))


def many(clients, work, kind, goals):
    out = os.path.join(work, "many-out")
    results = fetch_many(clients, out, clients.many("many", FILES, out),
                         "%d files of 4 KiB on one connection from %s" % (FILES, kind))
    goals.append("%d x 4 KiB from %s with sapihost's defaults: time %s of lftp mget's, %s of curl's"
                 % (FILES, kind, ratio_text(median_ratio(results, "lftp")), ratio_text(median_ratio(results, "curl"))))


def parallel(clients, work, kind, goals):
    """The many files again over the slow link: one connection against eight at
    once (sapihost get -P 8, lftp mget -P 8)."""
    out = os.path.join(work, "many-out")
    commands = {"sapihost": clients.host("mget", "-P", "8", "*.bin", folder="many/"),
                "one": clients.host("mget", "*.bin", folder="many/"),
                "lftp": clients.lftp("cd many; mget -P 8 -O %s *.bin" % out)}
    results = fetch_many(clients, out, commands,
                         "%d files of 4 KiB from %s at %d ms RTT, 8 connections" % (FILES, kind, RTT_MS))
    goals.append("%d x 4 KiB from %s at %d ms RTT with -P 8: time %s of sapihost's one connection (goal at most "
                 "0.20), %s of lftp mget -P 8's" % (FILES, kind, RTT_MS, ratio_text(median_ratio(results, "one")),
                                                    ratio_text(median_ratio(results, "lftp"))))


def listing(clients, kind, folder, entries, goals):
    commands = clients.listing(folder)
    results = repeat("a listing of %d entries from %s" % (entries, kind), list(commands),
                     lambda name: clients.run(commands[name]), REPS)
    goals.append("%d entries from %s: time %s of curl's, CPU %s, peak memory %s"
                 % (entries, kind, ratio_text(median_ratio(results, "curl")),
                    ratio_text(median_ratio(results, "curl", "cpu")), ratio_text(median_ratio(results, "curl", "kib"))))


OPERATIONS = ("login + ls", "get 1 KiB", "put 1 KiB", "info")


def trips(clients, work, server, link, table):
    """Wall time, the client's flights (from the packets) and the commands in
    the server's log, per operation, over the slow link."""
    small = os.path.join(work, "small.bin")
    out = os.path.join(work, "small-out.bin")
    operations = zip(OPERATIONS, (clients.listing(""), clients.download("small.bin", out),
                                  clients.upload(small, "small-up.bin"), clients.info("small.bin")))
    print("\n== round trips per operation at %d ms RTT through the delay line, %s (%d repetitions)"
          % (RTT_MS, server.kind, REPS))
    for operation, commands in operations:
        runs = {name: [] for name in commands}
        flights = {name: [] for name in commands}
        seen = {}
        for rep in range(REPS):
            for name in rotated(list(commands), rep):
                before = len(server.commands())
                link.flights()
                try:
                    run = clients.run(commands[name])
                except RuntimeError as error:
                    run = Run(failure=str(error))
                runs[name].append(run)
                time.sleep(0.2)  # the server logs the last command after the client left
                flights[name].append(link.flights())
                seen[name] = server.commands()[before:]
        for name in commands:
            mark_stalls(runs[name])
        row = {"results": runs, "flights": flights, "commands": {n: len(seen[n]) for n in commands}}
        table.setdefault(server.kind, {})[operation] = row
        for name in commands:
            print("%-11s %-9s wall %s  flights %s  server saw %d: %s %s"
                  % (operation, name, spread([r.wall for r in runs[name] if r.clean]),
                     flight_text(flights[name]), len(seen[name]), " ".join(seen[name]), flags(runs[name])))


def flight_text(counts):
    low, high = min(counts), max(counts)
    return "%d" % statistics.median(counts) if low == high else "%d (%d-%d)" % (statistics.median(counts), low, high)


def print_trips_table(table, goals):
    """The table the README shows: sapihost's median time, its ratios, and the
    flights of each client, per operation."""
    for kind, rows in table.items():
        print("\n== %s at %d ms RTT (medians of %d; ratios within each repetition)" % (kind, RTT_MS, REPS))
        print("| operation | sapihost | x curl | x lftp | client flights: sapihost / curl / lftp | server saw |")
        print("|---|---|---|---|---|---|")
        for operation in OPERATIONS:
            row = rows[operation]
            results = row["results"]
            wall = median_of(results["sapihost"], "wall")
            cells = [ratio_text(median_ratio(results, other)) for other in ("curl", "lftp")]
            stalls = "; ".join("%s: %s" % (n, flags(r)) for n, r in results.items() if flags(r))
            print("| %s | %.2f s | %s | %s | %s | %s |%s" % (
                operation, wall, cells[0], cells[1], " / ".join(flight_text(row["flights"][n]) for n in results),
                " / ".join(str(row["commands"][n]) for n in results), "  flagged: " + stalls if stalls else ""))
            goals.append("%s at %d ms, %s: time %s of curl's; flights %s against curl's %s"
                         % (operation, RTT_MS, kind, cells[0], flight_text(row["flights"]["sapihost"]),
                            flight_text(row["flights"]["curl"])))


# ---- set-up and order ------------------------------------------------------------

def make_root(work):
    root = os.path.join(work, "root")
    for folder in ("many", "wide", "huge"):
        os.makedirs(os.path.join(root, folder))
    for name, mib, wanted in (("big.bin", MIB, "bulk"), ("mid.bin", DELAYED_MIB, "delayed")):
        if wanted in ONLY or (wanted == "bulk" and ONLY & {"tls", "verify"}):
            local = os.path.join(work, "up-" + name)
            with open(local, "wb") as f:
                subprocess.run(["head", "-c", str(mib << 20), "/dev/urandom"], stdout=f, check=True)
            shutil.copyfile(local, os.path.join(root, name))
    for i in range(FILES):
        with open(os.path.join(root, "many", "f%03d.bin" % i), "wb") as f:
            f.write(os.urandom(4096))
    if "listing" in ONLY:
        for folder, count in (("wide", ENTRIES), ("huge", BIG_ENTRIES)):
            for i in range(count):
                os.close(os.open(os.path.join(root, folder, "entry-%07d.dat" % i), os.O_CREAT | os.O_WRONLY, 0o644))
    with open(os.path.join(work, "small.bin"), "wb") as f:
        f.write(os.urandom(1024))
    shutil.copyfile(os.path.join(work, "small.bin"), os.path.join(root, "small.bin"))
    os.chmod(work, 0o755)
    return root


def on_loopback(build, work, kind, goals):
    server = Server(kind, os.path.join(work, "root"))
    try:
        clients = Clients(build, server)
        if "bulk" in ONLY:
            bulk(clients, work, kind, "big.bin", MIB, "", goals)
        if "many" in ONLY:
            many(clients, work, kind, goals)
        if "listing" in ONLY:
            listing(clients, kind, "wide", ENTRIES, goals)
            if BIG_ENTRIES and kind == BIG_LISTING_SERVER:
                listing(clients, kind, "huge", BIG_ENTRIES, goals)
    finally:
        server.stop()


def over_slow_link(build, work, link, kind, table, goals):
    server = Server(kind, os.path.join(work, "root"), link=link)
    try:
        clients = Clients(build, server, link=link)
        if "trips" in ONLY:
            trips(clients, work, server, link, table)
        if "delayed" in ONLY and kind == SERVERS[0]:
            bulk(clients, work, kind, "mid.bin", DELAYED_MIB, " at %d ms RTT" % RTT_MS, goals)
        if "parallel" in ONLY and kind == SERVERS[0]:
            parallel(clients, work, kind, goals)
    finally:
        server.stop()


def secure(build, work, goals):
    """The bulk case over explicit FTPS from vsftpd (TLS on every data connection)."""
    certificates = os.path.join(work, "certs")
    subprocess.run([CERTIFICATES, certificates], check=True, stdout=subprocess.DEVNULL)
    os.chmod(certificates, 0o755)
    extra = ["--tls", "explicit", "--tls-cert", os.path.join(certificates, "server.crt"),
             "--tls-key", os.path.join(certificates, "server.key")]
    server = Server("vsftpd", os.path.join(work, "root"), extra)
    try:
        bulk(Clients(build, server, os.path.join(certificates, "ca.crt")), work, "vsftpd", "big.bin", MIB,
             " over explicit FTPS", goals)
    finally:
        server.stop()


def verified(build, work, goals):
    """One large download from proftpd, checked against its digest and not: what
    the check costs, the local hash as the bytes pass and the server's own."""
    server = Server("proftpd", os.path.join(work, "root"), ["--digest"])
    big, out = os.path.join(work, "root", "big.bin"), os.path.join(work, "out.bin")
    clients = Clients(build, server)
    plain = clients.host("get", "big.bin", out)
    commands = {"sapihost": plain[:2] + ["--verify=require"] + plain[2:], "plain": plain}
    try:
        found = repeat("%d MiB download from proftpd, checked against its digest or not" % MIB, list(commands),
                       lambda who: clients.run(commands[who]), REPS, lambda who: same_file(big, out, who),
                       lambda: os.path.exists(out) and os.remove(out))
    finally:
        server.stop()
    cpu = [median_of(found[who], "cpu") / (MIB / 1024) for who in ("sapihost", "plain")]
    goals.append("%d MiB download verified (proftpd's SHA-256): time %s of unverified, CPU %.2f s/GiB against %.2f"
                 % (MIB, ratio_text(median_ratio(found, "plain")), cpu[0], cpu[1]))


def follow_once(clients, path, out):
    """One writer, one follow: the seconds from the writer's last byte to the
    end of sapihost, whose file must then be the writer's whole."""
    chunk = os.urandom(GROWING_MIB_PER_S << 18)  # a quarter of a second's worth
    with open(path, "wb") as f:
        f.write(chunk)
    process = subprocess.Popen(clients.host("get", "--follow=%d" % FOLLOW_QUIET, "grow.bin", out),
                               env=dict(os.environ, SAPIHOST_PASSWORD=PASSWORD), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(path, "ab") as f:
        for _ in range(GROWING_SECONDS * 4 - 1):
            time.sleep(0.25)
            f.write(chunk)
            f.flush()
    last = time.monotonic()
    status = process.wait(timeout=GROWING_SECONDS + FOLLOW_QUIET + 120)
    lag = time.monotonic() - last
    if status != 0:
        raise RuntimeError("sapihost get --follow failed (%d)" % status)
    same_file(path, out, "sapihost")
    os.remove(out)
    return lag


def growing(build, work, goals):
    """A file still being written, followed to its end: what the end costs
    after the last write (the quiet asked for, and the probe a second)."""
    server = Server("vsftpd", os.path.join(work, "root"))
    try:
        clients = Clients(build, server)
        path, out = os.path.join(work, "root", "grow.bin"), os.path.join(work, "grown.bin")
        lags = [follow_once(clients, path, out) for _ in range(REPS)]
    finally:
        server.stop()
    print("\n== a file written at %d MiB/s for %d s, followed from vsftpd (--follow=%d): "
          "seconds from the last write to the end, min / median / max\n   %s"
          % (GROWING_MIB_PER_S, GROWING_SECONDS, FOLLOW_QUIET, spread(lags)))
    goals.append("growing file followed (quiet %d s): ended %.2f s after the writer's last byte (median), whole"
                 % (FOLLOW_QUIET, statistics.median(lags)))


def unless_unstartable(case, *arguments):
    """A server that cannot start here (vsftpd's one account is another
    launcher's just now) leaves its rows out and says so; the others run."""
    try:
        case(*arguments)
    except ServerUnstartable as error:
        print("\n== %s: left out, the server did not start" % error)


def main():
    build = os.path.abspath(sys.argv[1])
    work = os.environ.get("BENCH_WORK") or tempfile.mkdtemp(prefix="sapi-bench-")
    goals, table, link = [], {}, None
    try:
        make_root(work)
        print("sapihost (its defaults), curl %s, lftp %s; %d CPUs, load %.1f"
              % (subprocess.run(["curl", "--version"], capture_output=True, text=True).stdout.split()[1],
                 subprocess.run(["lftp", "--version"], capture_output=True, text=True).stdout.split()[3],
                 os.cpu_count(), os.getloadavg()[0]))
        for kind in SERVERS:
            unless_unstartable(on_loopback, build, work, kind, goals)
        if ONLY & {"trips", "delayed", "parallel"}:
            link = SlowLink(os.path.join(build, "bench", "delay_line"), RTT_MS // 2, TAG)
            measured = link.round_trip_ms()
            print("\n== the delay line: %d ms each way; a TCP handshake across it took %.1f ms" % (RTT_MS // 2, measured))
            if measured < RTT_MS * 0.95:
                raise RuntimeError("the delay line does not delay: %.1f ms for a %d ms round trip" % (measured, RTT_MS))
            for kind in SERVERS:
                unless_unstartable(over_slow_link, build, work, link, kind, table, goals)
            print_trips_table(table, goals)
        if "tls" in ONLY:
            secure(build, work, goals)
        if "verify" in ONLY:
            unless_unstartable(verified, build, work, goals)
        if "growing" in ONLY:
            unless_unstartable(growing, build, work, goals)
        print("\n== goals (medians of the per-repetition ratios; ratios below 1 favour sapihost)")
        for goal in goals:
            print("  " + goal)
    finally:
        if link is not None:
            link.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
