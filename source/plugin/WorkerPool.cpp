#include "plugin/WorkerPool.h"

#include <algorithm>

namespace tonewright {

namespace {
// Join and Leave one at a time: a Leave that ends the threads joins them
// outside the pool's mutex, and no Join may start new ones meanwhile.
std::mutex membership;
}  // namespace

WorkerPool& WorkerPool::instance()
{
    static WorkerPool pool;
    return pool;
}

WorkerPool::Client::~Client() { Leave(*this); }

WorkerPool::~WorkerPool()
{
    // Threads still running here belong to instances a host left open as it
    // unloads the plug-in or exits: they are let go rather than ending the
    // process.
    for (std::thread& t : threads) t.detach();
}

void WorkerPool::Client::wake()
{
    requests.fetch_add(1, std::memory_order_acq_rel);
    if (pending.exchange(true, std::memory_order_acq_rel)) return;
    WorkerPool& pool = instance();
    pool.wakes.fetch_add(1, std::memory_order_release);
    pool.wakes.notify_one();
}

void WorkerPool::Client::waitUntilServed()
{
    const uint32_t target = requests.load(std::memory_order_acquire);
    for (uint32_t done = handled.load(std::memory_order_acquire); static_cast<int32_t>(done - target) < 0;
         done = handled.load(std::memory_order_acquire)) {
        {
            std::lock_guard lock(instance().mutex);
            if (!joined) return;
        }
        handled.wait(done);
    }
}

void WorkerPool::Join(Client& client, std::function<void()> serve)
{
    std::lock_guard member(membership);
    WorkerPool& pool = instance();
    std::lock_guard lock(pool.mutex);
    // Whatever runs out of memory here leaves the pool as it was: no client
    // the pool would still serve after its owner is gone.
    pool.clients.reserve(pool.clients.size() + 1);
    if (pool.threads.empty()) {
        pool.threads.reserve(kThreads);
        try {
            for (int i = 0; i < kThreads; ++i) pool.threads.emplace_back([&pool] { pool.run(); });
        } catch (...) {
            if (pool.threads.empty()) throw;  // a thread that started serves alone
        }
    }
    client.serve = std::move(serve);
    client.joined = true;
    pool.clients.push_back(&client);
    // Requests made before joining are served now.
    if (client.requests.load() != client.handled.load()) {
        client.pending.store(true);
        pool.wakes.fetch_add(1);
        pool.wakes.notify_all();
    }
}

void WorkerPool::Leave(Client& client)
{
    std::lock_guard member(membership);
    WorkerPool& pool = instance();
    std::vector<std::thread> ending;
    {
        std::unique_lock lock(pool.mutex);
        if (!client.joined) return;
        pool.clients.erase(std::remove(pool.clients.begin(), pool.clients.end(), &client), pool.clients.end());
        client.joined = false;
        pool.served.wait(lock, [&] { return !client.busy; });
        if (pool.clients.empty()) {
            pool.stopping = true;
            ending.swap(pool.threads);
        }
    }
    // A waitUntilServed of this client returns.
    client.handled.store(client.requests.load());
    client.handled.notify_all();
    if (ending.empty()) return;
    pool.wakes.fetch_add(1);
    pool.wakes.notify_all();
    for (std::thread& t : ending) t.join();
    std::lock_guard lock(pool.mutex);
    pool.stopping = false;
}

int WorkerPool::Threads()
{
    WorkerPool& pool = instance();
    std::lock_guard lock(pool.mutex);
    return static_cast<int>(pool.threads.size());
}

WorkerPool::Client* WorkerPool::next()
{
    const size_t n = clients.size();
    for (size_t k = 0; k < n; ++k) {
        Client* c = clients[(turn + k) % n];
        if (c->busy || !c->pending.load(std::memory_order_acquire)) continue;
        turn = (turn + k + 1) % n;
        return c;
    }
    return nullptr;
}

void WorkerPool::run()
{
    for (;;) {
        const uint32_t seen = wakes.load(std::memory_order_acquire);
        Client* c = nullptr;
        {
            std::lock_guard lock(mutex);
            if (stopping) return;
            c = next();
            if (c) c->busy = true;
        }
        if (!c) {
            wakes.wait(seen, std::memory_order_acquire);
            continue;
        }
        // Cleared before the requests are read: a wake from here on brings
        // the client round again.
        c->pending.store(false, std::memory_order_release);
        const uint32_t target = c->requests.load(std::memory_order_acquire);
        try {
            c->serve();
        } catch (...) {
        }
        c->handled.store(target, std::memory_order_release);
        c->handled.notify_all();
        {
            std::lock_guard lock(mutex);
            c->busy = false;
        }
        served.notify_all();
    }
}

}  // namespace tonewright
