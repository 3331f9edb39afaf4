#pragma once

#include "TKalvex.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>

#include <map>
#include <memory>
#include <vector>

class KalvexHost;
class KalvexService;

// One automation object on the bus, owned by the client that created it.
class KalvexObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Mirvane.IKalvex")
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(int CurrentPage READ CurrentPage WRITE setCurrentPage)
    Q_PROPERTY(int PageStatus READ PageStatus WRITE setPageStatus)
    Q_PROPERTY(bool Connect READ Connect)
public:
    KalvexObject(KalvexHost& host, KalvexService& service) : members_(host), service_(service) {}

    bool Visible() const { return members_.Visible(); }
    void setVisible(bool v) { members_.setVisible(v); }
    int CurrentPage() const { return members_.CurrentPage(); }
    void setCurrentPage(int v) { members_.setCurrentPage(v); }
    int PageStatus() const { return members_.PageStatus(); }
    void setPageStatus(int v) { members_.setPageStatus(v); }
    bool Connect() const { return members_.Connect(); }

public slots:
    QDBusVariant RequestTag(const QDBusVariant& ATag);
    int GetTagAsWord(const QDBusVariant& ATag);

private:
    void fail(const QString& text);
    TKalvex members_;
    KalvexService& service_;
};

// The class factory on the session bus: bus name Mirvane.Kalvex, factory at /Kalvex. Each
// Create gives the calling client an object of its own; an object goes with Release or when
// its client leaves the bus.
class KalvexService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Mirvane.KalvexFactory")
public:
    static constexpr const char* ServiceName = "Mirvane.Kalvex";
    static constexpr const char* FactoryPath = "/Kalvex";

    KalvexService(KalvexHost& host, const QDBusConnection& bus, QObject* parent = nullptr);
    ~KalvexService() override;

    // Exports the factory and takes the bus name; false with the reason when it cannot.
    bool start(QString* error = nullptr);
    int objectCount() const { return static_cast<int>(objects_.size()); }

    // A program the bus started for a client serves objects only: when none has been made
    // within ms (the bus started it for an introspection, or its client went away first),
    // noClient is signalled, so that it does not hold the stand's port for nobody.
    void expectClientWithin(int ms);
    static constexpr int ClientWaitMs = 30000;

public slots:
    QDBusObjectPath Create();
    void Release(const QDBusObjectPath& path);

signals:
    void lastObjectReleased();
    void noClient();

private:
    friend class KalvexObject;
    // A call that writes the debug log may wait for its lock while the station's events go
    // on, among them its client leaving: an object released during a call is kept until no
    // call is under way.
    class CallUnderWay {
    public:
        explicit CallUnderWay(KalvexService& s) : s_(s) { ++s_.callsUnderWay_; }
        ~CallUnderWay();

    private:
        KalvexService& s_;
    };

    void releaseObject(const QString& path);
    void clientLeft(const QString& client);

    struct Entry {
        std::unique_ptr<KalvexObject> object;
        QString owner; // the client's unique bus name
    };
    KalvexHost& host_;
    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
    std::map<QString, Entry> objects_;
    std::vector<std::unique_ptr<KalvexObject>> released_;
    int callsUnderWay_ = 0;
    quint64 nextId_ = 1;
    quint64 created_ = 0;
    bool started_ = false;
};
