#include "RecordView.h"

#include "BrowserFonts.h"
#include "Panel.h"
#include "SqlRowsModel.h"

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace {

const char* const RightEdge = "rightEdge";

const char* const RowNames[] = {"Weight", "Resist", "Ovality", "BrakeWork", "Pedal"};
const int RowY[] = {16, 32, 48, 64, 80};
const char* const RowCaptions[] = {"Вес оси, ", "Сопр. качению, ", "Овальность, ", "Тормозная сила, ",
                                   "Усилие на педали, "};
// Columns of the axles' rows shown in each axle panel row: L, R, Sum and (where it has one)
// the unevenness.
struct RowColumns {
    const char* L;
    const char* R;
    const char* Sum;
    const char* N;
};
const RowColumns RowFields[] = {
    {"StaticWeightL", "StaticWeightR", "StaticWeightSum", nullptr},
    {"ResistL", "ResistR", "ResistSum", "ResistN"},
    {"OvalityL", "OvalityR", "OvalitySum", nullptr},
    {"BrakeWorkL", "BrakeWorkR", "BrakeWorkSum", "BrakeWorkN"},
    {"MaxEffortPedalL", "MaxEffortPedalR", "MaxEffortPedalSum", nullptr},
};

constexpr int InfoMainHeight = 158;
constexpr int BrakeWorkInfoHeight = 23;
constexpr int AxleHeight = 100;
constexpr int BrakeStopInfoHeight = 38;
constexpr int StopRowHeight = 18;
constexpr int SumHeight = 71;
constexpr int EfficiencyHeight = 52;
constexpr int SideX = 3;

QString text(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

} // namespace

void setRightAligned(QLabel* label, const QString& text) {
    const int right = label->property(RightEdge).toInt();
    label->setText(text);
    label->adjustSize();
    label->move(right - label->width(), label->y());
}

RecordView::RecordView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RecordView"));

    pnInfoMain = panel(QStringLiteral("pnInfoMain"), InfoMainHeight);
    label(pnInfoMain, QStringLiteral("lbProtocolTitle"), 0, 0, 16, true,
          QStringLiteral(" Протокол испытания тормозной системы  №"));
    lbOrderNumber = label(pnInfoMain, QStringLiteral("lbOrderNumber"), 392, 0, 16, true);
    label(pnInfoMain, QStringLiteral("lbDateCaption"), 8, 27, 11, false, QStringLiteral("Дата: "));
    lbTestDate = label(pnInfoMain, QStringLiteral("lbTestDate"), 39, 27, 11);
    label(pnInfoMain, QStringLiteral("lbTimeCaption"), 109, 27, 11, false, QStringLiteral("Время:"));
    lbTestTimeBegin = label(pnInfoMain, QStringLiteral("lbTestTimeBegin"), 154, 27, 11);
    label(pnInfoMain, QStringLiteral("lbKalvexTypeCaption"), 8, 43, 11, false,
          QStringLiteral("Тип стенда : "));
    lbKalvexType = label(pnInfoMain, QStringLiteral("lbKalvexType"), 75, 42, 11);
    label(pnInfoMain, QStringLiteral("lbKalvexSerialCaption"), 216, 43, 11, false,
          QStringLiteral("Заводской №: "));
    lbKalvexSerial = label(pnInfoMain, QStringLiteral("lbKalvexSerial"), 293, 43, 11);
    label(pnInfoMain, QStringLiteral("lbSoftwareVersionCaption"), 8, 59, 11, false,
          QStringLiteral("Версия программного обеспечения: "));
    lbSoftwareVersion = label(pnInfoMain, QStringLiteral("lbSoftwareVersion"), 202, 59, 11);
    label(pnInfoMain, QStringLiteral("lbKalvexIDCaption"), 8, 75, 11, false,
          QStringLiteral("Идентификатор стенда: "));
    lbKalvexID = label(pnInfoMain, QStringLiteral("lbKalvexID"), 139, 75, 11);
    label(pnInfoMain, QStringLiteral("lbVerificationDateCaption"), 8, 91, 11, false,
          QStringLiteral("Дата последней метрологической проверки: "));
    lbVerificationDate = label(pnInfoMain, QStringLiteral("lbVerificationDate"), 250, 91, 11);
    label(pnInfoMain, QStringLiteral("lbCarTypeCaption"), 8, 107, 11, false,
          QStringLiteral("Тип транспортного средства: "));
    lbCarType = label(pnInfoMain, QStringLiteral("lbCarType"), 171, 107, 11);
    label(pnInfoMain, QStringLiteral("lbCarNumberCaption"), 8, 123, 12, false,
          QStringLiteral("Государственный номерной знак: "));
    lbCarNumber = label(pnInfoMain, QStringLiteral("lbCarNumber"), 185, 123, 11);
    label(pnInfoMain, QStringLiteral("lbVINCaption"), 8, 139, 12, false, QStringLiteral("VIN: "));
    lbVIN = label(pnInfoMain, QStringLiteral("lbVIN"), 33, 139, 11);

    pnBrakeWorkInfo = panel(QStringLiteral("pnBrakeWorkInfo"), BrakeWorkInfoHeight);
    label(pnBrakeWorkInfo, QStringLiteral("lbBrakeWorkTitle"), 8, 3, 12, true,
          QStringLiteral("Рабочая тормозная система"));

    for (int i = 0; i < MaxAxles; ++i) {
        const int n = i + 1;
        AxlePanel& a = pnAxle[i];
        a.panel = panel(QStringLiteral("pnAxle%1").arg(n), AxleHeight);
        a.title = label(a.panel, QStringLiteral("lbAxle%1Title").arg(n), 8, 0, 12, true,
                        QStringLiteral("Ось %1").arg(n));
        const struct {
            const char* name;
            const char* text;
            int x;
        } headings[] = {{"HeadL", "Лев.", 184},
                        {"HeadR", "Прав.", 232},
                        {"HeadSum", "Сумма", 288},
                        {"HeadN", "Неравн., %", 346}};
        for (int h = 0; h < 4; ++h) {
            a.headings[h] =
                label(a.panel, QStringLiteral("lbAxle%1%2").arg(n).arg(QLatin1String(headings[h].name)),
                      headings[h].x, 0, 12, true, QString::fromUtf8(headings[h].text));
            a.headings[h]->setVisible(n == 1);
        }
        for (int r = 0; r < 5; ++r)
            a.rows[r] = valueRow(a.panel, QStringLiteral("lbAxle%1%2").arg(n).arg(QLatin1String(RowNames[r])),
                                 RowY[r], RowY[r], 11);
    }

    pnBrakeStopInfo = panel(QStringLiteral("pnBrakeStopInfo"), BrakeStopInfoHeight);
    label(pnBrakeStopInfo, QStringLiteral("lbBrakeStopTitle"), 8, 18, 12, true,
          QStringLiteral("Стояночная тормозная система"));

    for (int i = 0; i < MaxAxles; ++i) {
        const int n = i + 1;
        pnAxleStop[i].panel = panel(QStringLiteral("pnAxleStop%1").arg(n), StopRowHeight);
        pnAxleStop[i].labels =
            valueRow(pnAxleStop[i].panel, QStringLiteral("lbAxle%1BrakeStop").arg(n), 2, 0, 12);
    }

    pnSum = panel(QStringLiteral("pnSum"), SumHeight);
    label(pnSum, QStringLiteral("lbSumTitle"), 8, 4, 12, true, QStringLiteral("ИТОГО по ТС"));
    lbWeightName = label(pnSum, QStringLiteral("lbWeightName"), 8, 22, 12);
    lbBrakeWorkTotalName = label(pnSum, QStringLiteral("lbBrakeWorkTotalName"), 8, 38, 12);
    lbBrakeStopTotalName = label(pnSum, QStringLiteral("lbBrakeStopTotalName"), 8, 54, 12);
    lbWeightData = value(pnSum, QStringLiteral("lbWeightData"), 323, 22);
    lbBrakeWorkTotalData = value(pnSum, QStringLiteral("lbBrakeWorkTotalData"), 323, 38);
    lbBrakeStopTotalData = value(pnSum, QStringLiteral("lbBrakeStopTotalData"), 323, 54);

    pnEfficiency = panel(QStringLiteral("pnEfficiency"), EfficiencyHeight);
    label(pnEfficiency, QStringLiteral("lbEfficiencyTitle"), 8, 7, 12, true,
          QStringLiteral("Удельная тормозная сила"));
    label(pnEfficiency, QStringLiteral("lbBrakeWorkEfficiencyName"), 8, 25, 12, false,
          QStringLiteral("Рабочая тормозная система"));
    label(pnEfficiency, QStringLiteral("lbBrakeStopEfficiencyName"), 8, 41, 12, false,
          QStringLiteral("Стояночная тормозная система"));
    lbBrakeWorkEfficiencyData = value(pnEfficiency, QStringLiteral("lbBrakeWorkEfficiencyData"), 324, 25);
    lbBrakeStopEfficiencyData = value(pnEfficiency, QStringLiteral("lbBrakeStopEfficiencyData"), 324, 41);

    // Before the first test the stack shows its fixed parts only.
    for (AxlePanel& a : pnAxle)
        a.panel->hide();
    for (StopRow& s : pnAxleStop)
        s.panel->hide();
    pnSum->move(SideX, 0);
    pnEfficiency->move(SideX, 0);
}

Panel* RecordView::panel(const QString& name, int height) {
    auto* p = new Panel(this);
    p->setObjectName(name);
    p->setProperty("tag", PrintTag);
    p->resize(width(), height);
    return p;
}

QLabel* RecordView::label(QWidget* parent, const QString& name, int x, int y, int fontHeight, bool bold,
                          const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setProperty("tag", PrintTag);
    l->setFont(BrowserFonts::cellHeight(fontHeight, bold));
    l->setTextFormat(Qt::PlainText);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QLabel* RecordView::value(QWidget* parent, const QString& name, int right, int y, int fontHeight) {
    QLabel* l = label(parent, name, right, y, fontHeight);
    l->setAlignment(Qt::AlignRight | Qt::AlignTop);
    l->setProperty(RightEdge, right);
    setRightAligned(l, QString());
    return l;
}

RecordView::ValueRow RecordView::valueRow(QWidget* parent, const QString& prefix, int y, int nameY,
                                          int nameFont) {
    ValueRow r;
    r.Name = label(parent, prefix + QStringLiteral("Name"), 16, nameY, nameFont);
    r.L = value(parent, prefix + QStringLiteral("L"), RightL, y);
    r.R = value(parent, prefix + QStringLiteral("R"), RightR, y);
    r.Sum = value(parent, prefix + QStringLiteral("Sum"), RightSum, y);
    r.N = value(parent, prefix + QStringLiteral("N"), RightN, y);
    return r;
}

void RecordView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    spanPanels();
}

void RecordView::spanPanels() {
    for (Panel* p : findChildren<Panel*>(Qt::FindDirectChildrenOnly)) {
        if (p == pnSum || p == pnEfficiency)
            p->resize(std::max(330, width() - 2 * SideX), p->height());
        else
            p->resize(width(), p->height());
    }
}

void RecordView::ShowInfo(const SqlRowsModel& tests, int row, const SqlRowsModel& axles) {
    auto t = [&](const char* column) { return tests.value(row, QString::fromLatin1(column)); };
    const LocaleText::Unit unit = LocaleText::unitOf(t("MeasureUnit").toLongLong());
    auto format = [&](qint64 v) { return LocaleText::FormatValue(v, unit, locale); };
    auto setLabel = [](QLabel* l, const QString& s) {
        l->setText(s);
        l->adjustSize();
    };

    // The header: the values the list binds, then the date and time of the test.
    setLabel(lbOrderNumber, text(t("OrderNumber")));
    setLabel(lbKalvexType, text(t("KalvexType")));
    setLabel(lbKalvexSerial, text(t("KalvexSerial")));
    setLabel(lbSoftwareVersion, text(t("SoftwareVersion")));
    setLabel(lbKalvexID, text(t("KalvexID")));
    setLabel(lbVerificationDate,
             LocaleText::systemDateTime(t("VerificationDate").toDateTime(), locale, true));
    setLabel(lbCarType, text(t("StCarType")));
    setLabel(lbCarNumber, text(t("CarNumber")));
    setLabel(lbVIN, text(t("VIN")));
    const QDateTime begin = t("TestDTBegin").toDateTime();
    setLabel(lbTestDate, LocaleText::dateText(begin));
    setLabel(lbTestTimeBegin, LocaleText::timeText(begin, locale));

    int y = 0;
    pnInfoMain->move(0, y);
    y += pnInfoMain->height();
    pnBrakeWorkInfo->move(0, y);
    y += pnBrakeWorkInfo->height();

    // A test never has more axles than panels; should a row beyond the ninth ever be stored,
    // it is left out rather than shown in another axle's place.
    const int n = std::min(axles.rowCount(), MaxAxles);
    for (int i = 0; i < n; ++i) {
        auto a = [&](const char* column) { return axles.value(i, QString::fromLatin1(column)).toLongLong(); };
        AxlePanel& p = pnAxle[i];
        p.panel->show();
        p.panel->resize(p.panel->width(), AxleHeight);
        p.panel->move(0, y);
        y += AxleHeight;
        for (int r = 0; r < 5; ++r) {
            const RowColumns& f = RowFields[r];
            ValueRow& v = p.rows[r];
            setLabel(v.Name, QString::fromUtf8(RowCaptions[r]) + unit.text);
            const bool blank = r != Weight && a(f.L) == NoValue;
            setRightAligned(v.L, blank ? QString() : format(a(f.L)));
            setRightAligned(v.R, blank ? QString() : format(a(f.R)));
            setRightAligned(v.Sum, blank ? QString() : format(a(f.Sum)));
            setRightAligned(v.N, blank || !f.N ? QString() : QString::number(a(f.N)));
        }
        ValueRow& s = pnAxleStop[i].labels;
        s.L->setVisible(a("BrakeStopL") != NoValue);
        setLabel(s.Name, QStringLiteral("Ось %1 тормозная сила, ").arg(i + 1) + unit.text);
        setRightAligned(s.L, format(a("BrakeStopL")));
        setRightAligned(s.R, format(a("BrakeStopR")));
        setRightAligned(s.Sum, format(a("BrakeStopSum")));
        setRightAligned(s.N, QString::number(a("BrakeStopN")));
    }
    for (int i = n; i < MaxAxles; ++i)
        pnAxle[i].panel->hide();

    pnBrakeStopInfo->move(0, y);
    y += pnBrakeStopInfo->height();
    for (int i = 0; i < MaxAxles; ++i) {
        StopRow& s = pnAxleStop[i];
        const bool shown = i < n && !s.labels.L->isHidden();
        s.panel->setVisible(shown);
        if (shown) {
            s.panel->resize(s.panel->width(), StopRowHeight);
            s.panel->move(0, y);
            y += StopRowHeight;
        }
    }

    const qint64 stopTotal = t("BrakeStopTotal").toLongLong();
    pnSum->move(SideX, y);
    y += pnSum->height();
    setLabel(lbWeightName, QStringLiteral("Вес, ") + unit.text);
    setRightAligned(lbWeightData, format(t("Weight").toLongLong()));
    setLabel(lbBrakeWorkTotalName, QStringLiteral("Рабочая тормозная система, ") + unit.text);
    setRightAligned(lbBrakeWorkTotalData, format(t("BrakeWorkTotal").toLongLong()));
    setLabel(lbBrakeStopTotalName, QStringLiteral("Стояночная тормозная система, ") + unit.text);
    setRightAligned(lbBrakeStopTotalData, stopTotal == NoValue ? QString() : format(stopTotal));

    pnEfficiency->move(SideX, y);
    y += pnEfficiency->height();
    setRightAligned(lbBrakeWorkEfficiencyData,
                    LocaleText::EfficiencyText(t("BrakeWorkEfficiency").toDouble(), locale));
    setRightAligned(lbBrakeStopEfficiencyData,
                    stopTotal == NoValue
                        ? QString()
                        : LocaleText::EfficiencyText(t("BrakeStopEfficiency").toDouble(), locale));

    stackHeight_ = y;
    setMinimumHeight(y);
    resize(width(), y);
}
