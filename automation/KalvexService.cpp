#include "KalvexService.h"

#include "AutomationError.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

void KalvexObject::fail(const QString& text) {
    if (calledFromDBus())
        sendErrorReply(QDBusError::Failed, text);
}

KalvexService::CallUnderWay::~CallUnderWay() {
    if (--s_.callsUnderWay_ == 0 && !s_.released_.empty())
        // Not here: the call that ends may be one of theirs, still on its way out.
        QMetaObject::invokeMethod(
            &s_,
            [s = &s_] {
                if (s->callsUnderWay_ == 0)
                    s->released_.clear();
            },
            Qt::QueuedConnection);
}

QDBusVariant KalvexObject::RequestTag(const QDBusVariant& ATag) {
    const KalvexService::CallUnderWay call(service_);
    try {
        return QDBusVariant(members_.RequestTag(ATag.variant()));
    } catch (const AutomationError& e) {
        fail(e.text());
        return QDBusVariant(QVariant(QString()));
    }
}

int KalvexObject::GetTagAsWord(const QDBusVariant& ATag) {
    const KalvexService::CallUnderWay call(service_);
    try {
        return members_.GetTagAsWord(ATag.variant());
    } catch (const AutomationError& e) {
        fail(e.text());
        return 0;
    }
}

KalvexService::KalvexService(KalvexHost& host, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), host_(host), bus_(bus) {
    qRegisterMetaType<QDBusVariant>();
    watcher_.setConnection(bus_);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &KalvexService::clientLeft);
}

KalvexService::~KalvexService() {
    for (auto& [path, entry] : objects_)
        bus_.unregisterObject(path);
    if (started_) {
        bus_.unregisterObject(QString::fromLatin1(FactoryPath));
        bus_.unregisterService(QString::fromLatin1(ServiceName));
    }
}

bool KalvexService::start(QString* error) {
    auto failWith = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!bus_.isConnected())
        return failWith(QStringLiteral("no session bus: %1").arg(bus_.lastError().message()));
    if (!bus_.registerObject(QString::fromLatin1(FactoryPath), this, QDBusConnection::ExportAllSlots))
        return failWith(QStringLiteral("cannot export %1").arg(QString::fromLatin1(FactoryPath)));
    if (!bus_.registerService(QString::fromLatin1(ServiceName))) {
        bus_.unregisterObject(QString::fromLatin1(FactoryPath));
        return failWith(QStringLiteral("the bus name %1 is taken: %2")
                            .arg(QString::fromLatin1(ServiceName), bus_.lastError().message()));
    }
    started_ = true;
    return true;
}

QDBusObjectPath KalvexService::Create() {
    const QString path = QStringLiteral("%1/%2").arg(QString::fromLatin1(FactoryPath)).arg(nextId_++);
    Entry e;
    e.object = std::make_unique<KalvexObject>(host_, *this);
    e.owner = calledFromDBus() ? message().service() : QString();
    if (!bus_.registerObject(path, e.object.get(),
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, QStringLiteral("cannot export %1").arg(path));
        return QDBusObjectPath();
    }
    const QString owner = e.owner;
    objects_.emplace(path, std::move(e));
    ++created_;
    if (!owner.isEmpty()) {
        watcher_.addWatchedService(owner);
        // A client may leave before the watch is in place; asking the bus after the watch
        // was sent on this connection closes that gap.
        QMetaObject::invokeMethod(
            this,
            [this, owner] {
                const QDBusReply<bool> there = bus_.interface()->isServiceRegistered(owner);
                if (there.isValid() && !there.value())
                    clientLeft(owner);
            },
            Qt::QueuedConnection);
    }
    return QDBusObjectPath(path);
}

void KalvexService::expectClientWithin(int ms) {
    QTimer::singleShot(ms, this, [this] {
        if (created_ == 0)
            emit noClient();
    });
}

void KalvexService::Release(const QDBusObjectPath& path) {
    if (objects_.find(path.path()) == objects_.end()) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::UnknownObject, QStringLiteral("no such object: %1").arg(path.path()));
        return;
    }
    releaseObject(path.path());
}

void KalvexService::releaseObject(const QString& path) {
    auto it = objects_.find(path);
    if (it == objects_.end())
        return;
    const QString owner = it->second.owner;
    bus_.unregisterObject(path);
    if (callsUnderWay_ > 0)
        released_.push_back(std::move(it->second.object));
    objects_.erase(it);
    bool ownerHasMore = false;
    for (const auto& [p, e] : objects_)
        ownerHasMore = ownerHasMore || e.owner == owner;
    if (!owner.isEmpty() && !ownerHasMore)
        watcher_.removeWatchedService(owner);
    if (objects_.empty())
        emit lastObjectReleased();
}

void KalvexService::clientLeft(const QString& client) {
    QStringList paths;
    for (const auto& [p, e] : objects_)
        if (e.owner == client)
            paths << p;
    for (const QString& p : paths)
        releaseObject(p);
}
