#pragma once

// What a station run against the simulated stand needs around it: the station directory's
// files, and what its database holds of the tests afterwards. No test framework here: the
// harnesses and the benchmarks use it too.

#include "QueryRows.h"
#include "StandModel.h"
#include "TdmMain.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <map>
#include <set>
#include <vector>

// Settings with the stand's and the remote's ports (115200 baud), the database, the protocol
// file (into dir/protocols) and the remote on, plus programExtra in section [Program]; a
// profile; the demo's Titles.txt.
inline void layOutStation(const QString& dir, const QString& standPort, const QString& remotePort,
                          const QString& programExtra = QString()) {
    const QString protocols = QDir(dir).filePath(QStringLiteral("protocols"));
    QDir().mkpath(protocols);
    writeFile(QDir(dir).filePath(QStringLiteral("mirvane.ini")),
              QStringLiteral("[Device]\nPortName=%1\nBaud=115200\nKalvexType=Калвекс-3500\nKalvexSerial=00042\n"
                             "[IR]\nEnabled=1\nPortName=%2\n"
                             "[Program]\nDatabaseEnabled=1\nPrintAct=1\nRCEnabled=1\nProtocolDir=%3\n%4")
                  .arg(standPort, remotePort, protocols, programExtra)
                  .toUtf8());
    writeFile(QDir(dir).filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n");
    QFile::copy(QStringLiteral(MIRVANE_SOURCE_DIR "/scripts/demo/Titles.txt"), QDir(dir).filePath(QStringLiteral("Titles.txt")));
}

// What a station's database holds of its tests.
struct StoredTests {
    // Test rows by order number: id, OrderNumber, AxleCount, then the reader's further columns.
    std::map<int32_t, std::vector<QVariantList>> byOrder;
    // Axle rows by test id, in axle order: TestID, AxleNumber, then the 32 measured words in
    // the order of the stand's axle block.
    std::map<int, std::vector<QVariantList>> axlesOf;

    // Test rows without as many axle rows as they say, and axle rows of no test.
    int partial() const {
        std::set<int> ids;
        int n = 0;
        for (const auto& [order, list] : byOrder)
            for (const QVariantList& r : list) {
                ids.insert(r[0].toInt());
                n += int(axlesOfTest(r).size()) != r[2].toInt();
            }
        for (const auto& [id, list] : axlesOf)
            n += !ids.count(id);
        return n;
    }
    // How a test row's axle rows differ from the test the stand served, one line each; none
    // when they are word for word what it served.
    QStringList axleDifferences(const QVariantList& test, const StandSim::FinishedTest& served) const {
        const std::vector<QVariantList>& ax = axlesOfTest(test);
        const size_t axles = served.header[22];
        QStringList out;
        if (ax.size() != axles)
            out << QStringLiteral("%1 axle rows, not %2").arg(ax.size()).arg(axles);
        for (size_t a = 0; a < ax.size() && a < axles; ++a) {
            if (ax[a][1].toInt() != int(a) + 1)
                out << QStringLiteral("axle row %1 is numbered %2").arg(a + 1).arg(ax[a][1].toInt());
            for (int j = 0; j < 32; ++j)
                if (ax[a][2 + j].toInt() != served.axles[a][size_t(j)])
                    out << QStringLiteral("axle %1 word %2 is %3, the stand served %4")
                               .arg(a + 1)
                               .arg(j)
                               .arg(ax[a][2 + j].toInt())
                               .arg(served.axles[a][size_t(j)]);
        }
        return out;
    }
    bool axlesMatch(const QVariantList& test, const StandSim::FinishedTest& served) const {
        return axleDifferences(test, served).isEmpty();
    }

private:
    const std::vector<QVariantList>& axlesOfTest(const QVariantList& test) const {
        static const std::vector<QVariantList> none;
        const auto it = axlesOf.find(test[0].toInt());
        return it == axlesOf.end() ? none : it->second;
    }
};

// Reads every test and axle row with a connection the caller opened; moreColumns (of Tests)
// follow id, OrderNumber and AxleCount. A failed statement is added to errors.
inline StoredTests readStoredTests(QSqlDatabase& c, const QString& moreColumns, QStringList* errors) {
    StoredTests s;
    const QString more = moreColumns.isEmpty() ? QString() : QStringLiteral(", ") + moreColumns;
    for (const QVariantList& r :
         queryRows(c, QStringLiteral("SELECT id, OrderNumber, AxleCount%1 FROM Tests").arg(more), errors))
        s.byOrder[r[1].toInt()].push_back(r);
    for (const QVariantList& r :
         queryRows(c,
                   QStringLiteral("SELECT TestID, AxleNumber, %1 FROM Axles ORDER BY TestID, AxleNumber")
                       .arg(TdmMain::axlesColumns().mid(2, 32).join(QLatin1Char(','))),
                   errors))
        s.axlesOf[r[0].toInt()].push_back(r);
    return s;
}
