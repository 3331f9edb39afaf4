#include "TestStorage.h"

#include <QThread>

#include <chrono>
#include <cstdio>

TestStorage::TestStorage(QString outboxDir, QObject* parent) : QObject(parent), outbox_(std::move(outboxDir)) {
    qRegisterMetaType<TdmMain::StoreResult>();
}

TestStorage::~TestStorage() {
    stop();
}

int TestStorage::loadOutbox() {
    QStringList problems;
    std::vector<Outbox::Waiting> waiting = outbox_.load(&problems);
    // The newest test the earlier run took over: its last waiting one, else the one it stored last.
    earlierNewest_ = waiting.empty() ? outbox_.newest() : std::optional<OutboxEntry>(waiting.back().entry);
    for (const QString& p : problems)
        std::fprintf(stderr, "mirvane: a damaged test file in the outbox: %s\n", qPrintable(p));
    if (!waiting.empty())
        std::fprintf(stderr, "mirvane: %zu tests an earlier run left in the outbox %s are stored first\n",
                     waiting.size(), qPrintable(outbox_.dir()));
    std::lock_guard lock(m_);
    for (Outbox::Waiting& w : waiting) {
        Item item{w.file, std::move(w.entry), {}};
        item.since.start();
        queue_.push_back(std::move(item));
    }
    cv_.notify_all();
    return int(waiting.size());
}

std::optional<OutboxEntry> TestStorage::takeEarlierRunsNewest() {
    std::optional<OutboxEntry> e;
    e.swap(earlierNewest_);
    return e;
}

void TestStorage::start(const DatabaseConfig& config, Timing timing) {
    stop();
    config_ = config;
    timing_ = timing;
    {
        std::lock_guard lock(m_);
        stop_ = false;
    }
    thread_ = QThread::create([this] { run(); });
    thread_->setObjectName(QStringLiteral("mirvane-storage"));
    thread_->start();
}

void TestStorage::stop() {
    if (!thread_)
        return;
    {
        std::lock_guard lock(m_);
        stop_ = true;
        if (dm_)
            dm_->abortCall();
    }
    cv_.notify_all();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

bool TestStorage::isRunning() const {
    return thread_ != nullptr;
}

TestStorage::Taken TestStorage::put(const OutboxEntry& entry, QString* why) {
    Item item{outbox_.put(entry, why), entry, {}};
    item.since.start();
    const Taken taken = item.file.isEmpty() ? Taken::Memory : Taken::Outbox;
    if (taken == Taken::Memory)
        std::fprintf(stderr,
                     "mirvane: test %d could not be written to the outbox (%s); it is kept in memory until the "
                     "database has it\n",
                     entry.orderNumber(), why ? qPrintable(*why) : "");
    {
        std::lock_guard lock(m_);
        queue_.push_back(std::move(item));
    }
    cv_.notify_all();
    return taken;
}

TestStorage::Status TestStorage::status() const {
    std::lock_guard lock(m_);
    Status s;
    s.waiting = int(queue_.size());
    if (!queue_.empty()) {
        s.oldestWaitingMs = queue_.front().since.elapsed();
        s.orderNumber = queue_.front().entry.orderNumber();
    }
    s.failing = attempts_ > 0;
    s.reason = reason_;
    if (busy_.isValid() && busy_.elapsed() >= timing_.hangingMs) {
        s.failing = true;
        s.reason = QStringLiteral("no answer from the database for %1 s").arg(busy_.elapsed() / 1000);
    }
    return s;
}

void TestStorage::reportOnce(const QString& line) {
    if (line == lastReported_)
        return;
    lastReported_ = line;
    std::fprintf(stderr, "mirvane: %s\n", qPrintable(line));
}

void TestStorage::failed(TdmMain& dm, const Item& item) {
    const QString why = dm.lastError().trimmed().isEmpty() ? QStringLiteral("unknown error") : dm.lastError().trimmed();
    // Whatever went wrong, the next attempt starts on a fresh connection: a server that was
    // restarted left this one dead, and a file opened read-only stays read-only until reopened.
    dm.close();
    std::lock_guard lock(m_);
    if (stop_) // the call was cut short because the station closes
        return;
    ++attempts_;
    retryMs_ = std::min(timing_.maxRetryMs, timing_.firstRetryMs << std::min(attempts_ - 1, 16));
    retryIn_.start();
    reason_ = why;
    if (!outage_.isValid()) {
        outage_.start();
        storedInOutage_ = 0;
        lastReported_.clear();
    }
    reportOnce(QStringLiteral("test %1 waits to be stored (%2 waiting), the database did not take it: %3")
                   .arg(item.entry.orderNumber())
                   .arg(queue_.size())
                   .arg(why));
}

void TestStorage::run() {
    TdmMain dm;
    dm.setCallLimit(timing_.callLimitMs);
    {
        std::lock_guard lock(m_);
        dm_ = &dm;
    }
    for (;;) {
        Item item;
        {
            std::unique_lock lock(m_);
            for (;;) {
                if (stop_)
                    break;
                if (queue_.empty()) {
                    cv_.wait(lock);
                    continue;
                }
                const qint64 left = attempts_ > 0 ? retryMs_ - retryIn_.elapsed() : 0;
                if (left > 0) {
                    cv_.wait_for(lock, std::chrono::milliseconds(left));
                    continue;
                }
                break;
            }
            if (stop_)
                break;
            item = queue_.front();
            busy_.start();
        }
        TdmMain::StoreResult r = TdmMain::StoreResult::NotConnected;
        if (dm.isConnected() || dm.DatabaseConnect(config_))
            r = dm.TableTestsStore(item.entry.record());
        {
            std::lock_guard lock(m_);
            busy_.invalidate();
        }
        if (r != TdmMain::StoreResult::Stored && r != TdmMain::StoreResult::Duplicate) {
            failed(dm, item);
            continue;
        }
        QString why;
        if (!item.file.isEmpty() && !outbox_.retire(item.file, &why))
            // Left behind, the file is stored again at the next start, which the database
            // refuses as a second copy.
            std::fprintf(stderr, "mirvane: a stored test's file stays in the outbox: %s\n", qPrintable(why));
        {
            std::lock_guard lock(m_);
            queue_.pop_front();
            attempts_ = 0;
            reason_.clear();
            if (outage_.isValid()) {
                ++storedInOutage_;
                if (queue_.empty()) {
                    reportOnce(QStringLiteral("the database took every waiting test (%1 stored after it had "
                                              "been unavailable for %2 s)")
                                   .arg(storedInOutage_)
                                   .arg(outage_.elapsed() / 1000.0, 0, 'f', 1));
                    outage_.invalidate();
                }
            }
        }
        emit stored(r, item.entry.orderNumber());
    }
    std::lock_guard lock(m_);
    dm_ = nullptr;
}
