#pragma once
// The threads every effect in the process shares for the work that must not
// run on the audio thread (storing the MIDI map, preparing a cabinet,
// freeing what the audio thread gave back): a hundred instances run on the
// same few threads, not on one thread each.
//
// Threads. `Client::wake` is lock-free and allocation-free on any thread,
// the audio thread included (an atomic store and a futex wake). Each client
// is served by one pool thread at a time, so its work never runs twice at
// once; clients are served in turn, and a slow one occupies only the thread
// that serves it. Joining and leaving take the pool's mutex, which the pool
// threads hold only to pick the next client, never while serving one:
// `leave` waits for nothing but the client's own work in progress. The
// threads start with the first client and end with the last.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tonewright {

class WorkerPool {
public:
    static constexpr int kThreads = 2;

    class Client {
    public:
        Client() = default;
        Client(const Client&) = delete;
        Client& operator=(const Client&) = delete;
        // Leaves the pool if its owner did not (an owner whose construction
        // failed after joining).
        ~Client();

        // Asks for `serve` to run on a pool thread (soon, once however many
        // times it was asked meanwhile).
        void wake();
        // Returns once every request made before the call has been served
        // (at once when the client is not in the pool).
        void waitUntilServed();

    private:
        friend class WorkerPool;
        std::function<void()> serve;
        std::atomic<uint32_t> requests{0};
        std::atomic<uint32_t> handled{0};
        std::atomic<bool> pending{false};
        bool joined = false;
        bool busy = false;  // served now (under the pool's mutex)
    };

    // Puts `client` in the pool with the work it does when woken.
    static void Join(Client& client, std::function<void()> serve);
    // Takes it out: returns once no pool thread serves it or will; what it
    // asked for and was not served is dropped.
    static void Leave(Client& client);
    // Pool threads running now (0 when no client is in the pool).
    static int Threads();

private:
    WorkerPool() = default;
    ~WorkerPool();
    static WorkerPool& instance();
    void run();
    Client* next();

    std::mutex mutex;
    std::condition_variable served;  // a client's work finished
    std::vector<Client*> clients;
    std::vector<std::thread> threads;
    size_t turn = 0;  // where the next search for a pending client starts
    bool stopping = false;
    std::atomic<uint32_t> wakes{0};
};

}  // namespace tonewright
