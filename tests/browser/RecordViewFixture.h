#pragma once

#include "BrowserSupport.h"
#include "Panel.h"
#include "RecordView.h"

#include <QLabel>

#include <gtest/gtest.h>

// The record view fed from a real station database: tests are stored, the day's list is
// opened and the view shows one of its rows, as the database page makes it do.
class RecordViewFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TdmMain dm;
    RecordView view;
    QDate day{2026, 12, 9};
    int nextOrder = 12;

    void SetUp() override {
        ASSERT_TRUE(dm.DatabaseConnect(createStationDatabase(dir)));
        view.resize(430, 900);
    }

    // Stores a test a minute after the last one and returns its order number.
    int store(const std::vector<AxleValues>& axles, uint16_t unit = 0) {
        const int order = nextOrder++;
        const QDateTime time(day, QTime(14, 5).addSecs(60 * (order - 12)));
        EXPECT_EQ(dm.TableTestsStore(makeTest(order, time, axles, unit)), TdmMain::StoreResult::Stored);
        return order;
    }
    // Opens the day's list and shows the test with this order number.
    void show(int order) {
        dm.TableTestsSelect(QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(0, 0)));
        for (int r = 0; r < dm.qrTests.rowCount(); ++r)
            if (dm.qrTests.value(r, QStringLiteral("OrderNumber")).toInt() == order)
                dm.qrTests.setCurrentRow(r);
        ASSERT_EQ(dm.qrTests.value(dm.qrTests.currentRow(), QStringLiteral("OrderNumber")).toInt(), order);
        view.ShowInfo(dm.qrTests, dm.qrTests.currentRow(), dm.qrAxles);
    }

    QLabel* label(const QString& name) {
        auto* l = view.findChild<QLabel*>(name);
        if (!l)
            ADD_FAILURE() << "no label " << name.toStdString();
        return l;
    }
    QString text(const QString& name) {
        QLabel* l = label(name);
        return l ? l->text() : QStringLiteral("<missing>");
    }
    bool shown(const QString& name) {
        auto* w = view.findChild<QWidget*>(name);
        if (!w)
            ADD_FAILURE() << "no widget " << name.toStdString();
        return w && !w->isHidden();
    }
    int top(const QString& name) { return view.findChild<QWidget*>(name)->y(); }
};
