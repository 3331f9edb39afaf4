#include "DatabasePageFixture.h"
#include "Panel.h"
#include "PrintForm.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {

// A word as pdftotext places it: its text and its box in points from the page's top-left.
struct Word {
    QString text;
    double xMin, yMin, xMax, yMax;
    bool operator==(const Word&) const = default;
};

std::vector<Word> pdfWords(const QString& pdf) {
    QProcess p;
    p.start(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext failed on " << pdf.toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression re(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    std::vector<Word> words;
    for (const QRegularExpressionMatch& m : re.globalMatch(html)) {
        QString text = m.captured(5);
        text.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
        text.replace(u"&amp;"_s, u"&"_s);
        words.push_back({text, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                         m.captured(4).toDouble()});
    }
    return words;
}

// The printed lines top to bottom: words on one baseline joined by blanks, left to right.
QStringList pdfLines(const std::vector<Word>& words) {
    std::map<long, std::vector<const Word*>> rows;
    for (const Word& w : words)
        rows[std::lround(w.yMax * 10)].push_back(&w);
    QStringList lines;
    for (auto& [y, row] : rows) {
        std::sort(row.begin(), row.end(), [](const Word* a, const Word* b) { return a->xMin < b->xMin; });
        QStringList texts;
        for (const Word* w : row)
            texts << w->text;
        lines << texts.join(u' ');
    }
    return lines;
}

// A PDF "printer" at 600 dots per inch; origin receives the printable area's corner in points.
std::unique_ptr<QPrinter> pdfPrinter(const QString& file, QPointF* origin = nullptr) {
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(file);
    p->setResolution(600);
    if (origin)
        *origin = p->pageRect(QPrinter::Point).topLeft();
    return p;
}

constexpr double PointsPerDot = 72.0 / 600.0;

const AxleValues NoParking{380, 360, 10, 12, 2, 3, 240, 228, NoValue, NoValue, 30, 29};

} // namespace

class Printing : public DatabasePageFixture {
protected:
    QPointF origin;
    int printed = 0;

    // F9 prints into this file.
    void printTo(const QString& file) {
        page().protocolPrinter = [this, file](QString*) {
            ++printed;
            return pdfPrinter(file, &origin);
        };
    }
    QString pdf(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(Printing, F9PrintsTheShownProtocolScaledTo600DotsAndConfirmsIt) {
    storeBefore({makeTest(12, at(8), {NoParking, NoParking})});
    start();
    key(Qt::Key_F12);
    printTo(pdf("protocol.pdf"));
    key(Qt::Key_F9);

    ASSERT_EQ(dialogs.messages.size(), 1u);
    const Dialogs::Message& m = dialogs.messages[0];
    EXPECT_EQ(m.icon, Dialogs::Icon::Information);
    EXPECT_EQ(m.buttons, Dialogs::Ok);
    EXPECT_EQ(m.title, u"Печать протокола"_s);
    EXPECT_EQ(m.text, u"Протокол испытания № 12 отправлен на печать."_s);

    const std::vector<Word> words = pdfWords(pdf("protocol.pdf"));
    const QStringList lines = pdfLines(words);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], u"Протокол испытания тормозной системы № 12"_s);
    EXPECT_TRUE(lines.contains(u"Рабочая тормозная система"_s)) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"Ось 1 Лев. Прав. Сумма Неравн., %"_s)) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"Ось 2"_s)) << "headings above the first axle only";
    EXPECT_TRUE(lines.contains(u"Вес оси, кг 380 360 740"_s));
    EXPECT_TRUE(lines.contains(u"Стояночная тормозная система"_s));
    EXPECT_TRUE(lines.contains(u"Стояночная тормозная система, кг"_s)) << "the parking total is empty";
    for (const QString& l : lines) {
        EXPECT_FALSE(l.startsWith(u"Ось 3"_s)) << "hidden axle panels are not printed";
        EXPECT_FALSE(l.contains(u"тормозная сила, кг"_s)) << "no parking-brake row: " << l.toStdString();
    }

    // "Вес оси" of the first axle: x 16 in a panel at x 0 is 100 + round(16 x 6.25) = 200 dots.
    std::vector<const Word*> weights;
    for (const Word& w : words)
        if (w.text == u"Вес"_s)
            weights.push_back(&w);
    ASSERT_EQ(weights.size(), 2u); // one per axle; the total reads "Вес,"
    EXPECT_NEAR((weights[0]->xMin - origin.x()) / PointsPerDot, 200, 0.5);
    // The axle panels stand 100 screen pixels apart: round(281 x 6.25) - round(181 x 6.25) dots.
    EXPECT_NEAR((weights[1]->yMin - weights[0]->yMin) / PointsPerDot, 1756 - 1131, 0.5);
    EXPECT_NEAR((weights[1]->xMin - weights[0]->xMin) / PointsPerDot, 0, 0.5);
}

TEST_F(Printing, PositionsDoNotDependOnHowFarTheViewIsScrolled) {
    storeBefore({makeTest(3, at(8), std::vector<AxleValues>(9, carAxle()))});
    start();
    key(Qt::Key_F12);
    printTo(pdf("top.pdf"));
    key(Qt::Key_F9);
    QScrollBar* bar = page().sbInfo->verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_GT(bar->value(), 0);
    printTo(pdf("scrolled.pdf"));
    key(Qt::Key_F9);
    const std::vector<Word> top = pdfWords(pdf("top.pdf"));
    EXPECT_GT(top.size(), 9u * 20);
    EXPECT_EQ(top, pdfWords(pdf("scrolled.pdf")));
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(Printing, WithoutADefaultPrinterF9SaysSoAndPrintsNothing) {
    if (!QPrinterInfo::defaultPrinter().isNull())
        GTEST_SKIP() << "this system has a default printer; the test would print on it";
    storeBefore({test(12, at(8))});
    start();
    key(Qt::Key_F9);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].title, u"Печать протокола"_s);
    EXPECT_TRUE(dialogs.messages[0].text.contains(u"принтер по умолчанию"_s))
        << dialogs.messages[0].text.toStdString();
}

TEST_F(Printing, AJobThatCannotStartIsReportedAndNotConfirmed) {
    storeBefore({test(12, at(8))});
    start();
    printTo(dir.filePath(u"no such directory/protocol.pdf"_s));
    key(Qt::Key_F9);
    EXPECT_EQ(printed, 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].title, u"Печать протокола"_s);
}

TEST(PrintForm, CountsTaggedLabelsAndDrawsOnlyThoseInShownPanels) {
    // A window of its own: which labels qualify, which are drawn, and where.
    QWidget window;
    auto tagged = [](QWidget* w, int tag) {
        w->setProperty("tag", tag);
        return w;
    };
    auto label = [&](QWidget* parent, const char* text, QPoint pos, int tag) {
        auto* l = new QLabel(QString::fromUtf8(text), parent);
        l->move(pos);
        tagged(l, tag);
        return l;
    };
    auto* shownPanel = static_cast<Panel*>(tagged(new Panel(&window), 180));
    shownPanel->move(10, 20);
    label(shownPanel, "Drawn", {16, 5}, 180);
    label(shownPanel, "AllBits", {16, 40}, 0xFF); // holds 180's bits and more
    label(shownPanel, "Untagged", {16, 60}, 4);
    label(shownPanel, "Hidden", {16, 80}, 180)->hide();
    // Far down the window: 11000 x 6.25 = 68750 dots, kept to 16 bits.
    auto* farPanel = static_cast<Panel*>(tagged(new Panel(&window), 180));
    farPanel->move(0, 11000);
    label(farPanel, "Wrapped", {0, 0}, 180);
    auto* hiddenPanel = static_cast<Panel*>(tagged(new Panel(&window), 180));
    hiddenPanel->hide();
    label(hiddenPanel, "InHiddenPanel", {0, 0}, 180);
    label(&window, "NoPanel", {0, 0}, 180);

    QTemporaryDir dir;
    const QString file = dir.filePath(u"form.pdf"_s);
    QPointF origin;
    std::unique_ptr<QPrinter> printer = pdfPrinter(file, &origin);
    EXPECT_EQ(PrintForm(window, 180, *printer), 5);
    printer.reset();
    std::map<QString, Word> words;
    for (const Word& w : pdfWords(file))
        words.emplace(w.text, w);
    QStringList texts;
    for (const auto& [text, w] : words)
        texts << text;
    EXPECT_EQ(texts, (QStringList{u"AllBits"_s, u"Drawn"_s, u"Wrapped"_s}));
    // x: 100 + round(16 x 6.25) + round(10 x 6.25), the half going to the even 62.
    EXPECT_NEAR((words[u"Drawn"_s].xMin - origin.x()) / PointsPerDot, 262, 0.5);
    // y: 68750 - 65536 = 3214, plus the margin; the same font's cell top as "Drawn" at 100 + 31 + 125.
    EXPECT_NEAR((words[u"Wrapped"_s].yMin - words[u"Drawn"_s].yMin) / PointsPerDot, 3314 - 256, 0.5);

    QTemporaryDir all;
    std::unique_ptr<QPrinter> every = pdfPrinter(all.filePath(u"all.pdf"_s));
    // Mask 0: every shown label qualifies; the window's own children are all of them.
    EXPECT_EQ(PrintForm(window, 0, *every), 6);
}
