/* A slow link between two network namespaces, at the packet level: one TUN
 * device in each, and every IP packet that leaves one is handed to the other
 * after a fixed one-way delay. Both ends see the delay as a real path shows
 * it (the handshake, every ACK, the TCP window), which a relay of bytes
 * cannot show. The kernel here has no netem, hence this.
 *
 *   delay_line SERVER_NS CLIENT_NS ONE_WAY_MS
 *
 * The namespaces must exist (ip netns add). In each one it makes the device
 * "delay0"; their addresses and routes are the caller's (ip netns exec ...).
 * It prints "READY" once both are there. Packets queue in arrival order; a
 * full queue drops, as a router would.
 *
 * It also counts the client's flights: bursts of packets from CLIENT_NS that
 * open a connection or carry data (a SYN, or TCP payload), a new burst
 * starting when the last such packet is more than the one-way delay old.
 * Anything sent in answer to the server comes at least a round trip after
 * the packet that asked, so each flight is one round trip the client waited
 * for. SIGUSR1 prints "flights F packets P" (client to server, since the last
 * report) and starts the counts again. SIGTERM or SIGINT ends it; the devices
 * go with it. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

enum { SLOTS = 8192, SLOT_BYTES = 2048, TO_SERVER = 0, TO_CLIENT = 1 };

struct packet {
    int64_t due_ns;
    uint16_t length;
    unsigned char bytes[SLOT_BYTES];
};

/* One direction: a ring of packets waiting for their time. */
struct queue {
    struct packet *slots;
    size_t head, count;
    uint64_t dropped;
};

static volatile sig_atomic_t report_wanted, stop_wanted;

static void on_signal(int number) {
    if (number == SIGUSR1) report_wanted = 1;
    else stop_wanted = 1;
}

static int64_t now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static void die(const char *what) {
    perror(what);
    exit(1);
}

/* The device "delay0" inside the named namespace; the fd keeps working from
 * any namespace afterwards. */
static int open_tun_in(const char *ns, int home) {
    char path[256];
    snprintf(path, sizeof path, "/run/netns/%s", ns);
    const int nsfd = open(path, O_RDONLY | O_CLOEXEC);
    if (nsfd < 0) die(path);
    if (setns(nsfd, CLONE_NEWNET) != 0) die("setns");
    close(nsfd);
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) die("/dev/net/tun");
    struct ifreq request;
    memset(&request, 0, sizeof request);
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    strncpy(request.ifr_name, "delay0", IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &request) != 0) die("TUNSETIFF");
    if (setns(home, CLONE_NEWNET) != 0) die("setns back");
    return fd;
}

/* The client's flights: see the top of this file. */
struct flights {
    int64_t gap_ns, last_ns;
    uint64_t flights, packets;
};

static int opens_or_carries(const unsigned char *ip, size_t length) {
    if (length < 20 || (ip[0] >> 4) != 4 || ip[9] != 6) return 0;
    const size_t ip_header = (size_t)(ip[0] & 0x0f) * 4;
    const size_t total = ((size_t)ip[2] << 8) | ip[3];
    if (ip_header < 20 || total > length || total < ip_header + 20) return 0;
    const unsigned char *tcp = ip + ip_header;
    const size_t tcp_header = (size_t)(tcp[12] >> 4) * 4;
    const int syn = (tcp[13] & 0x02) != 0;
    return syn || total > ip_header + tcp_header;
}

static void count(struct flights *seen, const unsigned char *ip, size_t length, int64_t now) {
    seen->packets++;
    if (!opens_or_carries(ip, length)) return;
    if (seen->flights == 0 || now - seen->last_ns > seen->gap_ns) seen->flights++;
    seen->last_ns = now;
}

/* Reads whatever the device has into the queue, each packet due `delay` later. */
static void take(int fd, struct queue *queue, int64_t delay_ns, struct flights *seen) {
    for (;;) {
        struct packet scratch;
        struct packet *slot = queue->count < SLOTS ? &queue->slots[(queue->head + queue->count) % SLOTS] : &scratch;
        const ssize_t got = read(fd, slot->bytes, SLOT_BYTES);
        if (got <= 0) return;  /* EAGAIN: drained */
        const int64_t now = now_ns();
        if (seen != NULL) count(seen, slot->bytes, (size_t)got, now);
        if (slot == &scratch) {
            queue->dropped++;
            continue;
        }
        slot->length = (uint16_t)got;
        slot->due_ns = now + delay_ns;
        queue->count++;
    }
}

/* Hands on every packet whose time has come. */
static void release(int fd, struct queue *queue, int64_t now) {
    while (queue->count > 0 && queue->slots[queue->head].due_ns <= now) {
        const struct packet *slot = &queue->slots[queue->head];
        if (write(fd, slot->bytes, slot->length) < 0 && errno != EAGAIN) queue->dropped++;
        queue->head = (queue->head + 1) % SLOTS;
        queue->count--;
    }
}

static int64_t next_due(const struct queue queues[2]) {
    int64_t due = INT64_MAX;
    for (int i = 0; i < 2; ++i)
        if (queues[i].count > 0 && queues[i].slots[queues[i].head].due_ns < due) due = queues[i].slots[queues[i].head].due_ns;
    return due;
}

int main(int argc, char **argv) {
    if (argc != 4 || atoi(argv[3]) < 0) {
        fprintf(stderr, "usage: %s SERVER_NS CLIENT_NS ONE_WAY_MS\n", argv[0]);
        return 2;
    }
    const int64_t delay_ns = (int64_t)atoi(argv[3]) * 1000000;
    const int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home < 0) die("/proc/self/ns/net");
    const int fds[2] = {open_tun_in(argv[1], home), open_tun_in(argv[2], home)};  /* [TO_SERVER] writes to the server */

    struct queue queues[2];
    memset(queues, 0, sizeof queues);
    for (int i = 0; i < 2; ++i)
        if ((queues[i].slots = malloc(sizeof(struct packet) * SLOTS)) == NULL) die("malloc");
    struct flights seen = {delay_ns, 0, 0, 0};

    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGUSR1);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_signal;
    sigaction(SIGUSR1, &action, NULL);
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    /* On a busy machine a packet's time would otherwise wait for a free core. */
    const struct sched_param priority = {.sched_priority = 10};
    if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0) perror("delay_line: no real-time priority; timing may drift");

    printf("READY\n");
    fflush(stdout);
    while (!stop_wanted) {
        if (report_wanted) {
            report_wanted = 0;
            printf("flights %llu packets %llu\n", (unsigned long long)seen.flights, (unsigned long long)seen.packets);
            fflush(stdout);
            seen.flights = seen.packets = 0;
        }
        /* The device in the server's namespace carries what goes to the client, and the other way round. */
        struct pollfd wanted[2] = {{fds[TO_SERVER], POLLIN, 0}, {fds[TO_CLIENT], POLLIN, 0}};
        const int64_t due = next_due(queues);
        struct timespec wait, *timeout = NULL;
        if (due != INT64_MAX) {
            const int64_t left = due - now_ns();
            wait.tv_sec = left > 0 ? left / 1000000000 : 0;
            wait.tv_nsec = left > 0 ? left % 1000000000 : 0;
            timeout = &wait;
        }
        if (ppoll(wanted, 2, timeout, &waiting) < 0 && errno != EINTR) die("ppoll");
        if (wanted[0].revents & POLLIN) take(fds[TO_SERVER], &queues[TO_CLIENT], delay_ns, NULL);
        if (wanted[1].revents & POLLIN) take(fds[TO_CLIENT], &queues[TO_SERVER], delay_ns, &seen);
        const int64_t now = now_ns();
        release(fds[TO_SERVER], &queues[TO_SERVER], now);
        release(fds[TO_CLIENT], &queues[TO_CLIENT], now);
    }
    if (queues[0].dropped + queues[1].dropped > 0)
        fprintf(stderr, "delay_line: %llu packets dropped\n", (unsigned long long)(queues[0].dropped + queues[1].dropped));
    return 0;
}
