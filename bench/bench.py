"""The benchmark behind ./run bench: sapihost on the plug-in against curl and
lftp, same server, same bytes, same run. It prints; it never fails on numbers.

Fair by construction: in every repetition each client runs once per case, the
order of the clients rotates from one repetition to the next, every ratio is
taken within one repetition, and each figure is min / median / max over the
repetitions. Wall time, CPU time (user + system) and peak memory come from
/usr/bin/time for the whole client process.

    bench.py BUILD_DIR
Environment (bigger runs): BENCH_REPS (3), BENCH_MIB (1024), BENCH_DELAYED_MIB
(256), BENCH_ENTRIES (100000), BENCH_FILES (200), BENCH_RTT_MS (40),
BENCH_SERVERS ("vsftpd,pyftpdlib"), BENCH_ONLY (a comma list of: bulk, many,
listing, trips, delayed, tls, verify). The tls case moves BENCH_MIB each way over
explicit FTPS from vsftpd, sapihost against curl --ssl-reqd, both verifying the
server against the same private CA. The verify case downloads BENCH_MIB from
proftpd with mod_digest, sapihost with and without --verify=require (the server
then reads the whole file again to hash it).
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LAUNCHER = os.path.join(HERE, "..", "tests", "servers", "ftpserver.py")
PYTHON = "/usr/bin/python3"
USER, PASSWORD = "sapiftp", "secret"  # the launcher's account (vsftpd takes no other)


def setting(name, default):
    return type(default)(os.environ.get(name, default))


REPS = setting("BENCH_REPS", 3)
MIB = setting("BENCH_MIB", 1024)
DELAYED_MIB = setting("BENCH_DELAYED_MIB", 256)
ENTRIES = setting("BENCH_ENTRIES", 100000)
FILES = setting("BENCH_FILES", 200)
RTT_MS = setting("BENCH_RTT_MS", 40)
SERVERS = setting("BENCH_SERVERS", "vsftpd,pyftpdlib").split(",")
ONLY = set(setting("BENCH_ONLY", "bulk,many,listing,trips,delayed,tls,verify").split(","))
CERTIFICATES = os.path.join(HERE, "..", "tests", "servers", "make-test-certificates.sh")


# ---- servers and the delay line ------------------------------------------------

class Server:
    """A real FTP server through the tests' launcher; stopped when stdin closes."""

    def __init__(self, kind, root, extra=()):
        self.kind = kind
        self.process = subprocess.Popen([PYTHON, LAUNCHER, kind, "--root", root] + list(extra), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.port = None
        for line in self.process.stdout:
            if line.startswith("PORT "):
                self.port = int(line.split()[1])
                break
        if self.port is None:
            raise RuntimeError("%s did not start" % kind)
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
        """The commands the server has logged so far: one round trip each."""
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


class DelayLine:
    def __init__(self, port, rtt_ms):
        # Its stderr would only hold asyncio's notes on connections cut at the end.
        self.process = subprocess.Popen([PYTHON, os.path.join(HERE, "delay_proxy.py"), str(port), str(rtt_ms)],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.process.stdout.readline().split()[1])

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)


# ---- clients ---------------------------------------------------------------------

class Clients:
    """The command lines of each client for each operation, against one port."""

    def __init__(self, build, port, tls_ca=None):
        self.tls_ca = tls_ca
        self.sapihost = os.path.join(build, "host", "sapihost")
        self.raw = os.path.join(build, "bench", "raw_copy")
        self.url = "ftp://%s@127.0.0.1:%d/" % (USER, port)
        self.curl_url = "ftp://%s:%s@127.0.0.1:%d/" % (USER, PASSWORD, port)
        self.lftp_open = ("set net:max-retries 1; set ftp:ssl-allow no; set xfer:clobber on; "
                          "set cmd:fail-exit yes; open -u %s,%s ftp://127.0.0.1:%d; " % (USER, PASSWORD, port))

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
        return {"sapihost": self.host("ls", folder),
                "curl": ["curl", "-s", self.curl_url + folder + "/"],
                "lftp": self.lftp("ls %s" % folder)}

    def info(self, name):
        return {"sapihost": self.host("info", name),
                "curl": ["curl", "-s", "-I", self.curl_url + name]}


def timed(command, cwd=None):
    """Runs one client: (wall s, cpu s, peak KiB); raises when it failed."""
    with tempfile.NamedTemporaryFile("r") as out:
        env = dict(os.environ, SAPIHOST_PASSWORD=PASSWORD)
        done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", out.name] + command, cwd=cwd, env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=1800)
        if done.returncode != 0:
            raise RuntimeError("%s failed: %s" % (command[0], done.stderr[-2000:]))
        wall, user, system, kib = out.read().split()[-4:]
    return float(wall), float(user) + float(system), int(kib)


# ---- repetitions, ratios, printing ------------------------------------------------

def rotated(names, rep):
    shift = rep % len(names)
    return names[shift:] + names[:shift]


def repeat(case, names, run_one, check=lambda name: None, cleanup=lambda: None):
    """Runs every client once per repetition, in rotating order; {name: [(wall, cpu, kib)]}."""
    results = {name: [] for name in names}
    for rep in range(REPS):
        for name in rotated(names, rep):
            results[name].append(run_one(name))
            check(name)
            cleanup()
    show(case, results)
    return results


def spread(values):
    return "%7.2f %7.2f %7.2f" % (min(values), statistics.median(values), max(values))


def show(case, results):
    print("\n== %s (%d repetitions, order rotated)" % (case, REPS))
    print("%-10s %-23s %-23s %s" % ("", "wall s  min/med/max", "cpu s  min/med/max", "peak MiB  min/med/max"))
    for name, runs in results.items():
        print("%-10s %-23s %-23s %s" % (name, spread([r[0] for r in runs]), spread([r[1] for r in runs]),
                                        spread([r[2] / 1024 for r in runs])))
    if "sapihost" not in results:
        return
    for other in [n for n in results if n not in ("sapihost", "raw")]:
        ratios = [[s[i] / max(o[i], 1e-3) for s, o in zip(results["sapihost"], results[other])] for i in range(3)]
        print("sapihost/%-5s wall %s   cpu %s   memory %s" % (other, spread(ratios[0]), spread(ratios[1]),
                                                            spread(ratios[2])))


def median_ratio(results, other, field=0):
    return statistics.median(s[field] / max(o[field], 1e-3) for s, o in zip(results["sapihost"], results[other]))


def same_file(a, b, who):
    if subprocess.run(["cmp", "-s", a, b]).returncode != 0:
        raise RuntimeError("%s: the transferred file differs" % who)


# ---- the cases -------------------------------------------------------------------

def bulk(build, work, kind, port, name, mib, label, goals, tls_ca=None):
    """Download and upload of one large file; the raw copy only on plain loopback,
    and over TLS only sapihost and curl."""
    big = os.path.join(work, "root", name)
    local = os.path.join(work, "up-" + name)
    out = os.path.join(work, "out.bin")
    clients = Clients(build, port, tls_ca)
    down = clients.download(name, out)
    if tls_ca:
        down.pop("lftp")
    elif not label:
        down["raw"] = [clients.raw, big, out]
    gone = lambda: os.path.exists(out) and os.remove(out)
    results = repeat("%d MiB download from %s%s" % (mib, kind, label), list(down),
                     lambda who: timed(down[who]), lambda who: same_file(big, out, who), gone)
    up = clients.upload(local, "up.bin")
    if tls_ca:
        up.pop("lftp")
    stored = os.path.join(work, "root", "up.bin")
    ups = repeat("%d MiB upload to %s%s" % (mib, kind, label), list(up), lambda who: timed(up[who]),
                 lambda who: same_file(local, stored, who))
    for way, found in (("download", results), ("upload", ups)):
        cpu = statistics.median(r[1] for r in found["sapihost"]) / (mib / 1024)
        curl_cpu = statistics.median(r[1] for r in found["curl"]) / (mib / 1024)
        goals.append("%d MiB %s, %s%s: time x%.2f of curl's, CPU %.2f s/GiB against curl's %.2f"
                     % (mib, way, kind, label, median_ratio(found, "curl"), cpu, curl_cpu))


def many(build, work, kind, port, goals):
    out = os.path.join(work, "many-out")
    commands = Clients(build, port).many("many", FILES, out)

    def run_one(name):
        os.makedirs(out)
        return timed(commands[name], cwd=out)

    def check(name):
        got = len(os.listdir(out))
        if got != FILES:
            raise RuntimeError("%s fetched %d of %d files" % (name, got, FILES))

    results = repeat("%d files of 4 KiB on one connection from %s" % (FILES, kind), list(commands), run_one, check,
                     lambda: shutil.rmtree(out))
    goals.append("%d x 4 KiB from %s with sapihost's defaults: time x%.2f of lftp mget's, x%.2f of curl's"
                 % (FILES, kind, median_ratio(results, "lftp"), median_ratio(results, "curl")))


def listing(build, work, kind, port, goals):
    commands = Clients(build, port).listing("wide")
    results = repeat("a listing of %d entries from %s" % (ENTRIES, kind), list(commands),
                     lambda name: timed(commands[name]))
    goals.append("%d entries from %s: time x%.2f of curl's, peak memory x%.2f of curl's"
                 % (ENTRIES, kind, median_ratio(results, "curl"), median_ratio(results, "curl", 2)))


def trips(build, work, server, port, goals):
    """Round trips (commands in the server's log) and wall time per operation."""
    clients = Clients(build, port)
    small = os.path.join(work, "small.bin")
    out = os.path.join(work, "small-out.bin")
    operations = [("open and list", clients.listing("")), ("1 KiB download", clients.download("small.bin", out)),
                  ("1 KiB upload", clients.upload(small, "small-up.bin")), ("info", clients.info("small.bin"))]
    print("\n== round trips per operation at %d ms RTT, %s (commands in the server's log; wall s min/med/max)"
          % (RTT_MS, server.kind))
    for operation, commands in operations:
        counts, walls, seen = {}, {name: [] for name in commands}, {}
        for rep in range(REPS):
            for name in rotated(list(commands), rep):
                before = len(server.commands())
                walls[name].append(timed(commands[name])[0])
                time.sleep(0.3)  # the server logs the last command after the client left
                seen[name] = server.commands()[before:]
                counts[name] = len(seen[name])
        print("%-15s %s" % (operation, "   ".join("%s %d (%s)" % (n, counts[n], spread(walls[n]).strip())
                                                  for n in commands)))
        print("%-15s sapihost sent: %s" % ("", " ".join(seen["sapihost"])))
        goals.append("%s at %d ms, %s: %d round trips against curl's %d; beyond the module's connect: %s"
                     % (operation, RTT_MS, server.kind, counts["sapihost"], counts["curl"],
                        " ".join(beyond_connect(seen["sapihost"])) or "nothing"))


def beyond_connect(commands):
    """What the module sent for the operation itself: after its connect (login,
    features, the login folder's listing and its PWD), before the QUIT."""
    rest = commands[commands.index("PWD") + 1:] if "PWD" in commands else commands
    return [command for command in rest if command != "QUIT"]


# ---- set-up and order ------------------------------------------------------------

def make_root(work):
    root = os.path.join(work, "root")
    for folder in ("many", "wide"):
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
        for i in range(ENTRIES):
            os.close(os.open(os.path.join(root, "wide", "entry-%07d.dat" % i), os.O_CREAT | os.O_WRONLY, 0o644))
    with open(os.path.join(work, "small.bin"), "wb") as f:
        f.write(os.urandom(1024))
    shutil.copyfile(os.path.join(work, "small.bin"), os.path.join(root, "small.bin"))
    os.chmod(work, 0o755)
    return root


def secure(build, work, goals):
    """The bulk case over explicit FTPS from vsftpd (TLS on every data connection)."""
    certificates = os.path.join(work, "certs")
    subprocess.run([CERTIFICATES, certificates], check=True, stdout=subprocess.DEVNULL)
    os.chmod(certificates, 0o755)
    extra = ["--tls", "explicit", "--tls-cert", os.path.join(certificates, "server.crt"),
             "--tls-key", os.path.join(certificates, "server.key")]
    server = Server("vsftpd", os.path.join(work, "root"), extra)
    try:
        bulk(build, work, "vsftpd", server.port, "big.bin", MIB, " over explicit FTPS", goals,
             os.path.join(certificates, "ca.crt"))
    finally:
        server.stop()


def verified(build, work, goals):
    """One large download from proftpd, checked against its digest and not: what
    the check costs, the local hash as the bytes pass and the server's own."""
    server = Server("proftpd", os.path.join(work, "root"), ["--digest"])
    big, out = os.path.join(work, "root", "big.bin"), os.path.join(work, "out.bin")
    plain = Clients(build, server.port).host("get", "big.bin", out)
    commands = {"plain": plain, "verified": plain[:2] + ["--verify=require"] + plain[2:]}
    try:
        found = repeat("%d MiB download from proftpd, checked against its digest or not" % MIB, list(commands),
                       lambda who: timed(commands[who]), lambda who: same_file(big, out, who),
                       lambda: os.path.exists(out) and os.remove(out))
    finally:
        server.stop()
    wall = statistics.median(v[0] / max(p[0], 1e-3) for v, p in zip(found["verified"], found["plain"]))
    cpu = [statistics.median(r[1] for r in found[who]) / (MIB / 1024) for who in ("verified", "plain")]
    goals.append("%d MiB download verified (proftpd's SHA-256): time x%.2f of unverified, CPU %.2f s/GiB against %.2f"
                 % (MIB, wall, cpu[0], cpu[1]))


def main():
    build = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="sapi-bench-")
    goals = []
    try:
        make_root(work)
        print("sapihost (its defaults), curl %s, lftp %s; %d CPUs, load %.1f"
              % (subprocess.run(["curl", "--version"], capture_output=True, text=True).stdout.split()[1],
                 subprocess.run(["lftp", "--version"], capture_output=True, text=True).stdout.split()[3],
                 os.cpu_count(), os.getloadavg()[0]))
        for kind in SERVERS:
            server = Server(kind, os.path.join(work, "root"))
            try:
                if "bulk" in ONLY:
                    bulk(build, work, kind, server.port, "big.bin", MIB, "", goals)
                if "many" in ONLY:
                    many(build, work, kind, server.port, goals)
                if "listing" in ONLY:
                    listing(build, work, kind, server.port, goals)
                if "trips" in ONLY or "delayed" in ONLY:
                    line = DelayLine(server.port, RTT_MS)
                    try:
                        if "trips" in ONLY:
                            trips(build, work, server, line.port, goals)
                        if "delayed" in ONLY and kind == SERVERS[0]:
                            bulk(build, work, kind, line.port, "mid.bin", DELAYED_MIB, " at %d ms RTT" % RTT_MS,
                                 goals)
                    finally:
                        line.stop()
            finally:
                server.stop()
        if "tls" in ONLY:
            secure(build, work, goals)
        if "verify" in ONLY:
            verified(build, work, goals)
        print("\n== goals (medians of the per-repetition ratios; ratios below 1 favour sapihost)")
        for goal in goals:
            print("  " + goal)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
