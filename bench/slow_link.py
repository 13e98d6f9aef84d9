"""A slow link for the benchmark: two network namespaces, the servers' and the
clients', joined by bench/delay_line (a TUN device in each, every packet held
for the one-way delay). Processes are started straight into a namespace
(setns before exec), so nothing but the client itself is timed.

    link = SlowLink(delay_line, one_way_ms, tag)
    subprocess.Popen(command, preexec_fn=link.enter_server)   # 10.200.0.1
    subprocess.Popen(command, preexec_fn=link.enter_client)   # 10.200.0.2
    link.flights()    # the client's flights since the last call
    link.stop()       # ends what runs in the namespaces, removes them

tools/bench.sh removes namespaces named after its tag too, should this
process be killed before stop().
"""
import ctypes
import os
import signal
import subprocess
import sys
import time

SERVER_ADDRESS = "10.200.0.1"
CLIENT_ADDRESS = "10.200.0.2"
CLONE_NEWNET = 0x40000000
LIBC = ctypes.CDLL(None, use_errno=True)
LISTEN = ("import socket, sys\ns = socket.create_server((sys.argv[1], 0))\nprint(s.getsockname()[1], flush=True)\n"
          "s.accept()\nimport time\ntime.sleep(30)")
CONNECT = ("import socket, sys, time\nt = time.perf_counter()\n"
           "socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=10)\n"
           "print((time.perf_counter() - t) * 1000)")


def namespaces(tag):
    return "sapi-bench-%s-server" % tag, "sapi-bench-%s-client" % tag


def ip(*words):
    subprocess.run(["ip"] + list(words), check=True)


def enter(name):
    """For preexec_fn: moves the child into the namespace before it runs."""
    fd = os.open("/run/netns/" + name, os.O_RDONLY)
    if LIBC.setns(fd, CLONE_NEWNET) != 0:
        os._exit(127)
    os.close(fd)


def remove(tag):
    """Ends every process left in the tag's namespaces (ours: nothing else runs
    there), then removes them. Quiet about what is already gone."""
    for name in namespaces(tag):
        pids = subprocess.run(["ip", "netns", "pids", name], capture_output=True, text=True).stdout.split()
        for pid in pids:
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass
        subprocess.run(["ip", "netns", "del", name], stderr=subprocess.DEVNULL)


class SlowLink:
    def __init__(self, delay_line, one_way_ms, tag):
        self.tag = tag
        self.server_ns, self.client_ns = namespaces(tag)
        self.forwarder = None
        try:
            for name in (self.server_ns, self.client_ns):
                ip("netns", "add", name)
            self.forwarder = subprocess.Popen([delay_line, self.server_ns, self.client_ns, str(one_way_ms)],
                                              stdout=subprocess.PIPE, text=True)
            if self.forwarder.stdout.readline().strip() != "READY":
                raise RuntimeError("the delay line did not start")
            for name, mine, peer in ((self.server_ns, SERVER_ADDRESS, CLIENT_ADDRESS),
                                     (self.client_ns, CLIENT_ADDRESS, SERVER_ADDRESS)):
                ip("-n", name, "addr", "add", mine, "peer", peer, "dev", "delay0")
                ip("-n", name, "link", "set", "delay0", "up")
                ip("-n", name, "link", "set", "lo", "up")
        except BaseException:
            self.stop()
            raise

    def enter_server(self):
        enter(self.server_ns)

    def enter_client(self):
        enter(self.client_ns)

    def round_trip_ms(self):
        """A TCP handshake across the link, timed from the client's side: the
        check that the line delays at all."""
        listener = subprocess.Popen([sys.executable, "-c", LISTEN, SERVER_ADDRESS], stdout=subprocess.PIPE, text=True,
                                    preexec_fn=self.enter_server)
        try:
            port = listener.stdout.readline().strip()
            timing = subprocess.run([sys.executable, "-c", CONNECT, SERVER_ADDRESS, port], capture_output=True,
                                    text=True, check=True, preexec_fn=self.enter_client, timeout=30)
            return float(timing.stdout)
        finally:
            listener.kill()
            listener.wait()

    def flights(self):
        """The client's flights (bursts of SYNs and data a round trip apart)
        since the last call."""
        time.sleep(0.1)  # the last packets of a client that just left
        self.forwarder.send_signal(signal.SIGUSR1)
        words = self.forwarder.stdout.readline().split()
        return int(words[1])

    def stop(self):
        if self.forwarder is not None and self.forwarder.poll() is None:
            self.forwarder.terminate()
            self.forwarder.wait(timeout=30)
        remove(self.tag)
