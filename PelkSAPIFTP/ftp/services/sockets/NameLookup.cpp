#include "ftp/services/sockets/NameLookup.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "ftp/services/sockets/CancelWatch.h"
#include "ftp/services/sockets/SocketSystem.h"
#include "platform/BackgroundThread.h"

namespace sapi::ftpclient {

namespace {

std::atomic<NameResolver> resolver{&Resolve};

// One look-up, shared by the caller and the thread that runs it: whichever
// lets go last frees it, so an abandoned look-up writes into memory of its own.
struct Lookup {
    std::string host;
    uint16_t port = 0;
    NameResolver resolve = nullptr;
    std::vector<SocketAddress> addresses;
    std::atomic<bool> done{false};
};

void RunLookup(void *argument) {
    const std::unique_ptr<std::shared_ptr<Lookup>> held(static_cast<std::shared_ptr<Lookup> *>(argument));
    Lookup &lookup = **held;
    try {
        lookup.addresses = lookup.resolve(lookup.host, lookup.port);
    } catch (...) {
        lookup.addresses.clear();  // out of memory: no address
    }
    lookup.done.store(true, std::memory_order_release);
}

}  // namespace

std::vector<SocketAddress> LookUpName(const std::string &host, uint16_t port) {
    const NameResolver resolve = resolver.load();
    if (!Watched()) return resolve(host, port);
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host;
    lookup->port = port;
    lookup->resolve = resolve;
    auto held = std::make_unique<std::shared_ptr<Lookup>>(lookup);
    BackgroundThread thread;
    // Without a thread to spare, the look-up runs here, as an unwatched one does.
    if (!thread.Start(&RunLookup, held.get())) return resolve(host, port);
    held.release();  // the thread's now
    // A look-up from /etc/hosts or a numeric address ends within a
    // millisecond; the pauses grow to a slice for one that goes to a name server.
    Milliseconds pause{1};
    while (!lookup->done.load(std::memory_order_acquire)) {
        if (Cancelled()) {
            thread.Abandon();
            return {};
        }
        os::Pause(pause);
        pause = std::min(pause * 2, Milliseconds{50});
    }
    thread.Join();
    return std::move(lookup->addresses);
}

NameResolver SetNameResolverForTesting(NameResolver replacement) {
    return resolver.exchange(replacement != nullptr ? replacement : &Resolve);
}

}  // namespace sapi::ftpclient
