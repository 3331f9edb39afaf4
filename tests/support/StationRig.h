#pragma once

// The whole station in this process, on real serial ports, against the simulated stand, with
// the database of a test's choice: the replies the stand put on the line each second, the
// tests it served, and what the station stored of them. Used by the tests and the benchmark
// of a database that comes and goes.

#include "DatabaseConfig.h"
#include "PgTestServer.h"
#include "RealSerialPorts.h"
#include "SimProcess.h"
#include "StandModel.h"
#include "StationFiles.h"
#include "TdmMain.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QDir>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <memory>
#include <vector>

class StationRig {
public:
    static constexpr int Axles = 3;
    static constexpr uint64_t Seed = 11;
    static constexpr int32_t FirstOrder = 20260001;

    // A test every 3.5 s or so: 2 s of measuring, the remote's start a second after the
    // stand's results were read.
    StationRig()
        : sim({"--baud", "115200", "--pieces", "--seed", QByteArray::number(qulonglong(Seed)).constData(), "--axles",
               QByteArray::number(Axles).constData(), "--test-time", "2", "--remote-start", "1", "--report-rate"}) {}

    ~StationRig() { w.reset(); }

    // Lays out the station in stationDir (the database must be there already, or be a
    // server's) and starts it; false when the stand never answered.
    bool start(const QString& dir, const DatabaseConfig& db) {
        layOutStation(dir, sim.slavePath, sim.remotePath, programSettings(db));
        config = db;
        Station st;
        st.dir = dir;
        st.settingsFile = QDir(dir).filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList{QStringLiteral("-EMBEDDING")});
        QObject::connect(w.get(), &TfrMain::testStored,
                         [this](TdmMain::StoreResult r, int order) { stored.push_back({r, order}); });
        w->show();
        w->FormShow();
        return QTest::qWaitFor([&] { return w->link.fConnect; }, 10000);
    }

    qint64 now() const { return sim.elapsed(); }

    // The replies per second the stand reported for the seconds that ended from fromMs to toMs.
    std::vector<int> rates(qint64 fromMs, qint64 toMs) const {
        std::vector<int> out;
        for (int i = 0; i < sim.lines.size(); ++i)
            if (sim.lineAt[i] > fromMs + 1000 && sim.lineAt[i] <= toMs && sim.lines[i].startsWith(QLatin1String("rate ")))
                out.push_back(sim.lines[i].mid(5).toInt());
        return out;
    }
    // The tests the stand served (their last block read), by number.
    std::vector<int> served() const {
        std::vector<int> out;
        for (const QString& l : sim.lines)
            if (l.startsWith(QLatin1String("served test ")))
                out.push_back(l.mid(12).toInt());
        return out;
    }
    bool outboxEmpty() const { return w->storage.status().waiting == 0; }
    // Until the tests served so far are stored and the outbox is empty.
    bool waitStored(int ms) {
        return QTest::qWaitFor([&] { return outboxEmpty() && int(stored.size()) >= int(served().size()); }, ms);
    }

    // What the database holds of the served tests: each exactly once, word for word what the
    // stand served, no partial test. The problems found, one line each (none: all is well).
    QStringList check() const {
        QStringList problems;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase c = addConnection(config, name);
            if (!c.open())
                return {QStringLiteral("cannot open the database: ") + c.lastError().text()};
            StoredTests stored = readStoredTests(c, QStringLiteral("MeasureUnit, CarType"), &problems);
            const std::vector<int> servedTests = served();
            for (int k : servedTests) {
                const StandSim::FinishedTest t = StandSim::finishedTest(Seed, k, Axles, FirstOrder);
                const auto& found = stored.byOrder[t.orderNumber];
                if (found.size() != 1) {
                    problems << QStringLiteral("test %1 stored %2 times").arg(k).arg(found.size());
                    continue;
                }
                const QVariantList& r = found.front();
                if (r[2].toInt() != t.header[22] || r[3].toInt() != t.header[23] || r[4].toInt() != t.header[24])
                    problems << QStringLiteral("test %1: header columns differ").arg(k);
                for (const QString& d : stored.axleDifferences(r, t))
                    problems << QStringLiteral("test %1: %2").arg(k).arg(d);
            }
            for (const auto& [order, list] : stored.byOrder)
                if (order < FirstOrder || std::find(servedTests.begin(), servedTests.end(), order - FirstOrder + 1) ==
                                              servedTests.end())
                    problems << QStringLiteral("order %1 is stored but was not served").arg(order);
            c.close();
        }
        QSqlDatabase::removeDatabase(name);
        return problems;
    }

    const RealSerialPorts ports; // before the window
    SimProcess sim;
    DatabaseConfig config;
    RecordingDialogs dialogs;
    SystemClock clock;
    std::unique_ptr<TfrMain> w;
    std::vector<std::pair<TdmMain::StoreResult, int>> stored;
};
