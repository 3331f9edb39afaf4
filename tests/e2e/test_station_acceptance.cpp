// The whole station against the simulated stand, as an operator would run it: a finished test
// travels from the stand's registers over the line into the database, the protocol file and
// the record view, and an automation client reads a register of the same stand.

#include "AnsiText.h"
#include "DatabasePage.h"
#include "DatabaseRows.h"
#include "KalvexService.h"
#include "Panel.h"
#include "PrivateBus.h"
#include "RealSerialPorts.h"
#include "RecordView.h"
#include "SimProcess.h"
#include "StandModel.h"
#include "StationFiles.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QDBusConnection>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString cell(uint16_t word) {
    return word == 65535 ? QStringLiteral("       ") : QStringLiteral("%1 ").arg(word, 6);
}

} // namespace

TEST(StationAcceptance, AFinishedTestFromTheStandReachesTheDatabaseTheProtocolAndTheRecordView) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    constexpr int Axles = 3;
    constexpr uint64_t Seed = 7;
    SimProcess sim({"--baud", "115200", "--pieces", "--seed",
                    QByteArray::number(qulonglong(Seed)).constData(), "--axles", "3", "--test-time", "2",
                    "--remote-start", "1"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    const StandSim::FinishedTest served = StandSim::finishedTest(Seed, 1, Axles);

    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Mirvane.db"));
    layOutStation(dir.path(), sim.slavePath, sim.remotePath);
    const QString protocols = dir.filePath(QStringLiteral("protocols"));
    QString error;
    ASSERT_TRUE(TdmMain::createDatabase(db, &error)) << error.toStdString();

    const RealSerialPorts ports;
    Station st;
    st.dir = dir.path();
    st.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
    RecordingDialogs dialogs;
    FixedClock clock; // 9 December 2026, 14:05:07: the test time (PCDateTime) and the file name
    auto w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList{QStringLiteral("-EMBEDDING")});
    KalvexService service(w->automation,
                          QDBusConnection::connectToBus(bus.address, QStringLiteral("acceptance")));
    ASSERT_TRUE(service.start());
    w->kalvex = &service;
    QSignalSpy handedOver(w.get(), &TfrMain::testHandedOver);
    QSignalSpy stored(w.get(), &TfrMain::testStored);
    w->show();
    w->FormShow();
    EXPECT_TRUE(dialogs.messages.empty());

    // The stand's remote starts the test; the station fetches and stores it.
    ASSERT_TRUE(handedOver.wait(30000)) << "no finished test was handed over";
    EXPECT_EQ(handedOver[0][0].value<TestHandOver::Taken>(), TestHandOver::Taken::Outbox);
    const QString protocolFile = handedOver[0][1].toString();
    ASSERT_TRUE(stored.count() > 0 || stored.wait(10000)) << "the test was not stored";
    EXPECT_EQ(stored[0][0].value<TdmMain::StoreResult>(), TdmMain::StoreResult::Stored);
    EXPECT_EQ(stored[0][1].toInt(), served.orderNumber);
    EXPECT_EQ(protocolFile, QDir(protocols).filePath(QStringLiteral("2026-12-09 14-05-07.txt")));
    EXPECT_TRUE(dialogs.messages.empty());

    // The stored rows are the words the stand served.
    const uint16_t* h = served.header.data();
    auto joined = [](uint16_t low, uint16_t high) { return qint32(quint32(high) << 16 | low); };
    const auto test =
        rows(db, QStringLiteral("SELECT id, KalvexID, SoftwareVersion, VerificationDate, OrderNumber, "
                                "TestDTBegin, TestDTEnd, AxleCount, MeasureUnit, CarType, KalvexType, "
                                "KalvexSerial FROM Tests"));
    ASSERT_EQ(test.size(), 1u);
    EXPECT_EQ(test[0].mid(1), (QVariantList{joined(h[0], h[1]), QStringLiteral("3.51"),
                                            QStringLiteral("2026-03-15T00:00:00.000"), joined(h[8], h[9]),
                                            QStringLiteral("2026-12-09T14:05:00.000"),
                                            QStringLiteral("2026-12-09T14:05:00.000"), h[22], h[23], h[24],
                                            QStringLiteral("Калвекс-3500"), QStringLiteral("00042")}));
    EXPECT_EQ(joined(h[8], h[9]), served.orderNumber);
    QStringList measured;
    for (const char* c : {"StaticWeightL",
                          "StaticWeightR",
                          "DynamicWeightL",
                          "DynamicWeightR",
                          "ResistL",
                          "ResistR",
                          "OvalityL",
                          "OvalityR",
                          "OvalityBrakeL",
                          "OvalityBrakeR",
                          "BrakeWorkL",
                          "BrakeWorkR",
                          "BrakeStopL",
                          "BrakeStopR",
                          "BrakeReservL",
                          "BrakeReservR",
                          "BrakeMaxImbalanceL",
                          "BrakeMaxImbalanceR",
                          "MaxEffortPedalL",
                          "MaxEffortPedalR",
                          "MinPmL",
                          "MinPmR",
                          "MinPxL",
                          "MinPxR",
                          "MinPyL",
                          "MinPyR",
                          "TimeBreakL",
                          "TimeBreakR",
                          "TruckBlockL",
                          "TruckBlockR",
                          "TruckBlockStopL",
                          "TruckBlockStopR"})
        measured << QString::fromLatin1(c);
    const auto axles = rows(db, QStringLiteral("SELECT TestID, AxleNumber, %1 FROM Axles ORDER BY AxleNumber")
                                    .arg(measured.join(QLatin1Char(','))));
    ASSERT_EQ(axles.size(), size_t(Axles));
    for (int a = 0; a < Axles; ++a) {
        EXPECT_EQ(axles[a][0], test[0][0]);
        EXPECT_EQ(axles[a][1].toInt(), a + 1);
        for (int j = 0; j < 32; ++j)
            EXPECT_EQ(axles[a][2 + j].toInt(), served.axles[a][j]) << "axle " << a + 1 << " word " << j;
    }

    // The protocol file carries the same words: the raw header, and a column per axle.
    const QStringList lines = AnsiText::decode(readAll(protocolFile)).split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 42);
    QString header;
    for (uint16_t word : served.header)
        header += QStringLiteral("%1 | ").arg(word);
    EXPECT_EQ(lines[1], header);
    for (int j = 0; j < 32; ++j) {
        const QStringList cells = lines[5 + j].split(QLatin1Char('|'));
        ASSERT_GE(cells.size(), 11) << lines[5 + j].toStdString();
        for (int a = 0; a < 9; ++a)
            EXPECT_EQ(cells[2 + a], cell(a < Axles ? served.axles[a][j] : 65535)) << "row " << j + 1;
    }

    // The record view shows the test when the operator looks at the database page.
    QTest::keyClick(w.get(), Qt::Key_F12);
    const RecordView& view = *w->TabSheet2->info;
    EXPECT_EQ(view.lbOrderNumber->text(), QString::number(served.orderNumber));
    EXPECT_TRUE(view.pnAxle[2].panel->isVisibleTo(w.get()));
    EXPECT_FALSE(view.pnAxle[3].panel->isVisibleTo(w.get()));
    EXPECT_EQ(view.lbKalvexType->text(), QStringLiteral("Калвекс-3500"));

    // An automation client reads a register of the same stand: page 20, address 5 holds 2005.
    const QString obj = service.Create().path();
    EXPECT_EQ(bus.call(obj, QStringLiteral("Mirvane.IKalvex.RequestTag"), {QStringLiteral("<'Brake1'>")}).out,
              QStringLiteral("(<'Brake1'>,)"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->link.PageStatus == 1 && !w->link.fRequest; }, 5000));
    EXPECT_EQ(
        bus.call(obj, QStringLiteral("Mirvane.IKalvex.GetTagAsWord"), {QStringLiteral("<'Brake1'>")}).out,
        QStringLiteral("(2005,)"));

    w->kalvex = nullptr;
    w.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("acceptance"));
}
