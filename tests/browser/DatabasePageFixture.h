#pragma once

#include "BoardPage.h"
#include "BrowserSupport.h"
#include "DatabasePage.h"
#include "RecordView.h"
#include "TestsGrid.h"
#include "TestsGridModel.h"
#include "TfrMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>

// The station as an operator meets it: settings with the database enabled, a real station
// database, the main window started with its start-up sequence and driven by keys. Messages
// and dialogs are recorded instead of shown.
class DatabasePageFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock; // 9 December 2026, 14:05:07
    QDate today = clock.t.date();
    QString db;
    std::unique_ptr<TfrMain> w;

    void SetUp() override {
        writeFile(dir.filePath(QStringLiteral("mirvane.ini")), "[Program]\nDatabaseEnabled=1\n");
        writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        db = createStationDatabase(dir);
    }

    // Stores tests as an earlier run of the station did.
    void storeBefore(const std::vector<TestRecord>& tests) {
        TdmMain dm;
        ASSERT_TRUE(dm.DatabaseConnect(db));
        for (const TestRecord& t : tests)
            ASSERT_EQ(dm.TableTestsStore(t), TdmMain::StoreResult::Stored);
    }
    static TestRecord test(int order, const QDateTime& time, int axles = 2) {
        return makeTest(order, time, std::vector<AxleValues>(axles, carAxle()));
    }
    QDateTime at(int hour, int minute = 0, int daysFromToday = 0) const {
        return QDateTime(today.addDays(daysFromToday), QTime(hour, minute));
    }

    void start() {
        Station station;
        station.dir = dir.path();
        station.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(station, dialogs, clock, QStringList{});
        w->show();
        w->activateWindow();
        QApplication::setActiveWindow(w.get());
        w->FormShow();
        ASSERT_TRUE(w->dmMain.isConnected());
        ASSERT_TRUE(dialogs.messages.empty());
        dialogs.dialogs.clear(); // the about box
    }

    DatabasePage& page() const { return *w->TabSheet2; }
    TestsGrid& grid() const { return *w->TabSheet2->grTests; }
    TestsModel& list() const { return w->dmMain.qrTests; }

    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = w->focusWidget() ? w->focusWidget() : w.get();
        QTest::keyClick(target, static_cast<Qt::Key>(k), mods);
        // A cell editor commits its text in a queued call.
        QCoreApplication::processEvents();
    }
    // Types as the operator does: each key goes where the focus is then (the first key into a
    // grid cell opens its editor, which takes the focus).
    void type(const char* text) {
        for (const char* c = text; *c; ++c) {
            QWidget* target = w->focusWidget() ? w->focusWidget() : w.get();
            QTest::keyClick(target, *c);
        }
    }
    // Makes a cell of the grid current, as a click on it would.
    void selectCell(int row, int column) { grid().setCurrentIndex(grid().gridModel()->index(row, column)); }

    // The order numbers of the listed tests, top to bottom.
    QList<int> orders() const {
        QList<int> o;
        for (int r = 0; r < list().rowCount(); ++r)
            o << list().value(r, QStringLiteral("OrderNumber")).toInt();
        return o;
    }
    int currentOrder() const {
        return list().value(list().currentRow(), QStringLiteral("OrderNumber")).toInt();
    }
    QString caption() const { return page().gbTests->title(); }
    QString shownOrder() const { return page().info->lbOrderNumber->text(); }
    bool viewShown() const { return !page().sbInfo->isHidden(); }

    // One value read from the database file by a connection of its own.
    QVariant stored(const QString& sql) const {
        const QString name = QUuid::createUuid().toString();
        QVariant v;
        {
            QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            c.setDatabaseName(db);
            if (c.open()) {
                QSqlQuery q(c);
                if (q.exec(sql) && q.next())
                    v = q.value(0);
            }
            c.close();
        }
        QSqlDatabase::removeDatabase(name);
        return v;
    }
};
