#include "CallGuard.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <sys/socket.h>

namespace {

PGconn* pgConnection(const QSqlDatabase& db) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    // Qt's driver hands out its PGconn*, which the type system knows by the struct's name.
    if (!h.isValid() || (qstrcmp(h.typeName(), "pg_conn*") != 0 && qstrcmp(h.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}

} // namespace

int CallGuard::socketOf(const QSqlDatabase& db) {
    PGconn* c = pgConnection(db);
    return c ? PQsocket(c) : -1;
}

bool CallGuard::connectionLost(const QSqlDatabase& db) {
    PGconn* c = pgConnection(db);
    return c && PQstatus(c) == CONNECTION_BAD;
}

CallGuard::~CallGuard() {
    {
        std::lock_guard lock(m_);
        quit_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

CallGuard::Scope CallGuard::arm(const QSqlDatabase& db, int ms) {
    const int fd = socketOf(db);
    std::lock_guard lock(m_);
    if (depth_++ > 0)
        return Scope(this);
    fd_ = fd;
    if (fd_ < 0)
        return Scope(this);
    if (aborted_) {
        fireLocked();
        return Scope(this);
    }
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!thread_.joinable())
        thread_ = std::thread([this] { watch(); });
    cv_.notify_all();
    return Scope(this);
}

void CallGuard::disarm() {
    std::lock_guard lock(m_);
    if (--depth_ == 0)
        fd_ = -1;
}

void CallGuard::abortNow() {
    std::lock_guard lock(m_);
    aborted_ = true;
    fireLocked();
}

bool CallGuard::fired() const {
    std::lock_guard lock(m_);
    return fired_;
}

void CallGuard::reset() {
    std::lock_guard lock(m_);
    fired_ = false;
}

void CallGuard::fireLocked() {
    // The socket stays open (its owner closes it with the connection): shutting it down only
    // wakes the call that waits on it, with an error. Under the lock the owner cannot have
    // disarmed and closed it in between.
    if (depth_ > 0 && fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
        fired_ = true;
        fd_ = -1;
    }
}

void CallGuard::watch() {
    std::unique_lock lock(m_);
    while (!quit_) {
        if (depth_ == 0 || fd_ < 0) {
            cv_.wait(lock);
            continue;
        }
        if (cv_.wait_until(lock, deadline_) == std::cv_status::timeout && depth_ > 0 && fd_ >= 0 &&
            std::chrono::steady_clock::now() >= deadline_)
            fireLocked();
    }
}
