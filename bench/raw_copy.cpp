// The loopback limit for the benchmark: the same bytes over one plain TCP
// connection, sendfile(2) on one side and large reads into a file on the
// other, with nothing of FTP. Prints nothing; exits non-zero on failure.
//   raw_copy SOURCE DESTINATION
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool SendWholeFile(int listener, const char *path) {
    const Fd file(::open(path, O_RDONLY | O_CLOEXEC));
    const Fd peer(::accept(listener, nullptr, nullptr));
    struct stat info {};
    if (file.get() < 0 || peer.get() < 0 || ::fstat(file.get(), &info) != 0) return false;
    off_t offset = 0;
    while (offset < info.st_size) {
        if (::sendfile(peer.get(), file.get(), &offset, static_cast<size_t>(info.st_size - offset)) <= 0) return false;
    }
    return true;
}

bool ReceiveInto(uint16_t port, const char *path) {
    const Fd out(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    const Fd data(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (out.get() < 0 || ::connect(data.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::recv(data.get(), buffer.data(), buffer.size(), 0);
        if (got == 0) return true;
        if (got < 0 || ::write(out.get(), buffer.data(), static_cast<size_t>(got)) != got) return false;
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: raw_copy SOURCE DESTINATION\n");
        return 2;
    }
    const Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 1) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        return 1;
    }
    bool sent = false;
    std::thread sender([&] { sent = SendWholeFile(listener.get(), argv[1]); });
    const bool received = ReceiveInto(ntohs(address.sin_port), argv[2]);
    sender.join();
    return sent && received ? 0 : 1;
}
