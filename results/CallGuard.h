#pragma once

#include <QSqlDatabase>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Bounds how long a call on a PostgreSQL connection may wait for the server. A server that
// stopped answering (a hung or stopped process, a cable cut without a reset) leaves a call
// waiting on its socket for as long as that lasts: the server cannot enforce its own statement
// timeout then, and keepalives do nothing over a Unix socket or while the peer's kernel still
// answers. When the time is up, the guard shuts the connection's socket down from a thread of
// its own, which makes the waiting call return at once with a connection error; the caller
// then opens a fresh connection. Other engines' calls do not wait on a server and are let be.
class CallGuard {
public:
    CallGuard() = default;
    ~CallGuard();
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

    // Disarms the guard when the call has ended; nested scopes keep the outermost one's time.
    class Scope {
    public:
        explicit Scope(CallGuard* g) : g_(g) {}
        Scope(Scope&& o) noexcept : g_(o.g_) { o.g_ = nullptr; }
        Scope(const Scope&) = delete;
        ~Scope() {
            if (g_)
                g_->disarm();
        }

    private:
        CallGuard* g_;
    };

    // Arms the guard for a call on db, in the thread that owns the connection.
    [[nodiscard]] Scope arm(const QSqlDatabase& db, int ms);
    // Ends the call under way now, from any thread, as if its time were up (and any call
    // armed later, until reset): used when the station closes while a call waits.
    void abortNow();
    // Whether the guard ended a call since the last reset, and a fresh start.
    bool fired() const;
    void reset();

    // The connection's socket and whether libpq has given the connection up; -1 and false for
    // other engines.
    static int socketOf(const QSqlDatabase& db);
    static bool connectionLost(const QSqlDatabase& db);

private:
    void disarm();
    void watch();
    void fireLocked();

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::thread thread_;
    int depth_ = 0;
    int fd_ = -1;
    std::chrono::steady_clock::time_point deadline_;
    bool fired_ = false;
    bool aborted_ = false;
    bool quit_ = false;
};
