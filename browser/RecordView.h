#pragma once

#include "LocaleText.h"

#include <QLocale>
#include <QWidget>

#include <array>

class Panel;
class QLabel;
class SqlRowsModel;

// The selected test as a brake-test protocol: a gapless stack of panels (header, service-brake
// title, one panel per axle, parking-brake title, the axles' parking-brake rows, totals,
// specific forces). Every panel and label carries the print tag, so that printing reproduces
// what is shown here.
class RecordView : public QWidget {
    Q_OBJECT
public:
    static constexpr int PrintTag = 180;
    static constexpr int MaxAxles = 9;
    static constexpr uint16_t NoValue = 65535;

    explicit RecordView(QWidget* parent = nullptr);

    // Numbers and dates follow the system's regional format.
    QLocale locale = QLocale::system();

    // Fills the view from row `row` of the test list and the axle rows of that test (at most
    // nine are shown). A test without axle rows shows its header and empty sections.
    void ShowInfo(const SqlRowsModel& tests, int row, const SqlRowsModel& axles);

    // The height of the stack as last laid out.
    int stackHeight() const { return stackHeight_; }

    // One row of value labels: the caption and the left, right, sum and unevenness values.
    struct ValueRow {
        QLabel* Name;
        QLabel* L;
        QLabel* R;
        QLabel* Sum;
        QLabel* N;
    };
    enum AxleRowIndex { Weight, Resist, Ovality, BrakeWork, Pedal };
    struct AxlePanel {
        Panel* panel;
        QLabel* title;
        std::array<QLabel*, 4> headings; // shown on the first axle only
        std::array<ValueRow, 5> rows;    // Weight, Resist, Ovality, BrakeWork, Pedal
    };
    struct StopRow {
        Panel* panel;
        ValueRow labels;
    };

    Panel* pnInfoMain;
    QLabel* lbOrderNumber;
    QLabel* lbTestDate;
    QLabel* lbTestTimeBegin;
    QLabel* lbKalvexType;
    QLabel* lbKalvexSerial;
    QLabel* lbSoftwareVersion;
    QLabel* lbKalvexID;
    QLabel* lbVerificationDate;
    QLabel* lbCarType;
    QLabel* lbCarNumber;
    QLabel* lbVIN;

    Panel* pnBrakeWorkInfo;
    std::array<AxlePanel, MaxAxles> pnAxle;
    Panel* pnBrakeStopInfo;
    std::array<StopRow, MaxAxles> pnAxleStop;

    Panel* pnSum;
    QLabel* lbWeightName;
    QLabel* lbWeightData;
    QLabel* lbBrakeWorkTotalName;
    QLabel* lbBrakeWorkTotalData;
    QLabel* lbBrakeStopTotalName;
    QLabel* lbBrakeStopTotalData;

    Panel* pnEfficiency;
    QLabel* lbBrakeWorkEfficiencyData;
    QLabel* lbBrakeStopEfficiencyData;

    // Right edges of the value columns within a panel.
    static constexpr int RightL = 206;
    static constexpr int RightR = 258;
    static constexpr int RightSum = 322;
    static constexpr int RightN = 390;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    Panel* panel(const QString& name, int height);
    QLabel* label(QWidget* parent, const QString& name, int x, int y, int fontHeight, bool bold = false,
                  const QString& text = {});
    QLabel* value(QWidget* parent, const QString& name, int right, int y, int fontHeight = 11);
    ValueRow valueRow(QWidget* parent, const QString& prefix, int y, int nameY, int nameFont);
    void spanPanels();

    int stackHeight_ = 0;
};

// Sets the text of a right-aligned value label: its right edge stays where it was.
void setRightAligned(QLabel* label, const QString& text);
