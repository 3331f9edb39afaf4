#include "DatabasePageFixture.h"
#include "Panel.h"
#include "PrintForm.h"
#include "ProtocolPdf.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {

// A PDF "printer" at 600 dots per inch; printable (when asked for) receives the printable area
// in points.
std::unique_ptr<QPrinter> pdfPrinter(const QString& file, QPageSize::PageSizeId paper = QPageSize::A4,
                                     QRectF* printable = nullptr) {
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(file);
    p->setResolution(600);
    p->setPageSize(QPageSize(paper));
    if (printable)
        *printable = p->pageRect(QPrinter::Point);
    return p;
}

constexpr double PointsPerDot = 72.0 / 600.0;

const AxleValues NoParking{380, 360, 10, 12, 2, 3, 240, 228, NoValue, NoValue, 30, 29};

} // namespace

class Printing : public DatabasePageFixture {
protected:
    int printed = 0;
    QRectF printable; // the last printer's, in points

    // F9 prints into this file, on this paper.
    void printTo(const QString& file, QPageSize::PageSizeId paper = QPageSize::A4) {
        page().protocolPrinter = [this, file, paper](QString*) {
            ++printed;
            return pdfPrinter(file, paper, &printable);
        };
    }
    // Makes the test of this order number the list's current test (and the record view's).
    void show(int order) {
        for (int r = 0; r < list().rowCount(); ++r)
            if (list().value(r, u"OrderNumber"_s).toInt() == order)
                selectCell(r, 0);
        ASSERT_EQ(shownOrder(), QString::number(order));
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
    EXPECT_NEAR((weights[0]->xMin - printable.left()) / PointsPerDot, 200, 0.5);
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

TEST_F(Printing, NineAxlesWithParkingBrakesLandWholeOnTheOnePageOfA4AndOfLetter) {
    // 1404 screen pixels of protocol: 8775 dots at 600 dpi, where A4 has about 6800 to offer.
    storeBefore({makeTest(12, at(8), std::vector<AxleValues>(9, carAxle()))});
    start();
    key(Qt::Key_F12);
    for (const QPageSize::PageSizeId paper : {QPageSize::A4, QPageSize::Letter}) {
        const std::string name = QPageSize::name(paper).toStdString();
        const QString file = pdf(paper == QPageSize::A4 ? "a4.pdf" : "letter.pdf");
        printTo(file, paper);
        dialogs.messages.clear();
        key(Qt::Key_F9);
        ASSERT_EQ(dialogs.messages.size(), 1u) << name;
        EXPECT_EQ(dialogs.messages[0].text, u"Протокол испытания № 12 отправлен на печать."_s);

        QSizeF sheet;
        const std::vector<Word> words = pdfWords(file, &sheet);
        EXPECT_NEAR(sheet.width(), QPageSize(paper).size(QPageSize::Point).width(), 1) << name;
        EXPECT_NEAR(printable.bottom(), sheet.height() - printable.top(), 1) << name;
        for (const Word& w : words) {
            EXPECT_GE(w.xMin, printable.left()) << name << " " << w.text.toStdString();
            EXPECT_LE(w.xMax, printable.right()) << name << " " << w.text.toStdString();
            EXPECT_GE(w.yMin, printable.top()) << name << " " << w.text.toStdString();
            EXPECT_LE(w.yMax, printable.bottom()) << name << " " << w.text.toStdString();
        }
        // Every section is there, down to the last line of the specific forces.
        const QStringList lines = pdfLines(words);
        ASSERT_FALSE(lines.isEmpty()) << name;
        EXPECT_EQ(lines[0], u"Протокол испытания тормозной системы № 12"_s) << name;
        for (const QString& expected : {u"Ось 9"_s, u"Стояночная тормозная система"_s, u"ИТОГО по ТС"_s,
                                        u"Удельная тормозная сила"_s})
            EXPECT_TRUE(lines.contains(expected)) << name << " " << expected.toStdString();
        for (int n = 1; n <= 9; ++n)
            EXPECT_EQ(lines.filter(QRegularExpression(u"^Ось %1 тормозная сила, кг 180 172 352 "_s.arg(n))).size(),
                      1)
                << name << " axle " << n;
        EXPECT_TRUE(lines.contains(u"Стояночная тормозная система, кг 3.168"_s))
            << lines.join(u'\n').toStdString();
        EXPECT_TRUE(lines.last().startsWith(u"Стояночная тормозная система 0."_s)) << lines.last().toStdString();

        // One factor across and down: "Вес оси" stands at x 16 in each axle panel, the first
        // panel's "Неравн., %" heading at x 346; the panels stand 100 pixels apart.
        const std::vector<const Word*> weights = wordsOf(words, u"Вес"_s);
        const std::vector<const Word*> uneven = wordsOf(words, u"Неравн.,"_s);
        ASSERT_EQ(weights.size(), 9u) << name; // the total reads "Вес,"
        ASSERT_EQ(uneven.size(), 1u) << name;
        const double down = (weights[8]->yMin - weights[0]->yMin) / PointsPerDot / 800;
        const double across = (uneven[0]->xMin - weights[0]->xMin) / PointsPerDot / 330;
        EXPECT_LT(down, 6.25 * 0.9) << name;
        EXPECT_NEAR(across / down, 1.0, 0.005) << name;
        // The text shrinks with it, and the page is used to its margin: the last line ends
        // within a line's height above the bottom margin.
        const double lineHeight = weights[0]->yMax - weights[0]->yMin;
        const double bottomMargin = printable.bottom() - 100 * PointsPerDot;
        EXPECT_LE(words.back().yMax, bottomMargin + 0.5) << name;
        EXPECT_GE(words.back().yMax, bottomMargin - lineHeight) << name;
    }
}

TEST_F(Printing, OneAndThreeAxlesPrintAtTheScaleOfTheScreen) {
    storeBefore({makeTest(1, at(8), {carAxle()}), makeTest(3, at(9), std::vector<AxleValues>(3, carAxle()))});
    start();
    key(Qt::Key_F12);
    for (const int order : {1, 3})
        for (const QPageSize::PageSizeId paper : {QPageSize::A4, QPageSize::Letter}) {
            const std::string name = QPageSize::name(paper).toStdString() + " " + std::to_string(order);
            show(order);
            printTo(pdf("page.pdf"), paper);
            key(Qt::Key_F9);
            const std::vector<Word> words = pdfWords(pdf("page.pdf"));
            const std::vector<const Word*> weights = wordsOf(words, u"Вес"_s);
            const std::vector<const Word*> uneven = wordsOf(words, u"Неравн.,"_s);
            ASSERT_EQ(weights.size(), size_t(order)) << name;
            ASSERT_EQ(uneven.size(), 1u) << name;
            // 100 + round(16 x 6.25) = 200; 100 + round(346 x 6.25) = 2262, the half to the even 2162.
            EXPECT_NEAR((weights[0]->xMin - printable.left()) / PointsPerDot, 200, 0.5) << name;
            EXPECT_NEAR((uneven[0]->xMin - weights[0]->xMin) / PointsPerDot, 2062, 0.5) << name;
            if (order == 3) { // panels at 381 and 181: round(2381.25) - round(1131.25)
                EXPECT_NEAR((weights[2]->yMin - weights[0]->yMin) / PointsPerDot, 2381 - 1131, 0.5) << name;
            }
        }
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
    auto* hiddenPanel = static_cast<Panel*>(tagged(new Panel(&window), 180));
    hiddenPanel->hide();
    label(hiddenPanel, "InHiddenPanel", {0, 0}, 180);
    label(&window, "NoPanel", {0, 0}, 180);

    QTemporaryDir dir;
    const QString file = dir.filePath(u"form.pdf"_s);
    QRectF printable;
    std::unique_ptr<QPrinter> printer = pdfPrinter(file, QPageSize::A4, &printable);
    EXPECT_EQ(PrintForm(window, 180, *printer), 4);
    printer.reset();
    std::map<QString, Word> words;
    for (const Word& w : pdfWords(file))
        words.emplace(w.text, w);
    QStringList texts;
    for (const auto& [text, w] : words)
        texts << text;
    EXPECT_EQ(texts, (QStringList{u"AllBits"_s, u"Drawn"_s}));
    // x: 100 + round(16 x 6.25) + round(10 x 6.25), the half going to the even 62.
    EXPECT_NEAR((words[u"Drawn"_s].xMin - printable.left()) / PointsPerDot, 262, 0.5);
    // y: the same font's cell tops, 100 + round(40 x 6.25) + 125 and 100 + round(5 x 6.25) + 125.
    EXPECT_NEAR((words[u"AllBits"_s].yMin - words[u"Drawn"_s].yMin) / PointsPerDot, 250 - 31, 0.5);

    QTemporaryDir all;
    std::unique_ptr<QPrinter> every = pdfPrinter(all.filePath(u"all.pdf"_s));
    // Mask 0: every shown label qualifies; the window's own children are all of them.
    EXPECT_EQ(PrintForm(window, 0, *every), 5);
}

TEST(PrintForm, AWindowBeyondThePageShrinksUniformlyOntoIt) {
    // Far down and far right: 11000 x 6.25 = 68750 dots would even pass 16 bits.
    QWidget window;
    auto label = [&](QPoint panelAt, const char* text, QPoint at) {
        auto* panel = new Panel(&window);
        panel->move(panelAt);
        auto* l = new QLabel(QString::fromUtf8(text), panel);
        l->move(at);
    };
    label({10, 20}, "Near", {16, 5});
    label({0, 11000}, "Far", {0, 0});
    label({3000, 0}, "Right", {0, 0});

    QTemporaryDir dir;
    const QString file = dir.filePath(u"form.pdf"_s);
    QRectF area;
    std::unique_ptr<QPrinter> printer = pdfPrinter(file, QPageSize::A4, &area);
    EXPECT_EQ(PrintForm(window, 0, *printer), 3);
    printer.reset();
    std::map<QString, Word> words;
    for (const Word& w : pdfWords(file))
        words.emplace(w.text, w);
    ASSERT_EQ(words.size(), 3u);
    for (const auto& [text, w] : words) {
        EXPECT_GE(w.xMin, area.left()) << text.toStdString();
        EXPECT_LE(w.xMax, area.right()) << text.toStdString();
        EXPECT_LE(w.yMax, area.bottom()) << text.toStdString();
    }
    // Offsets from the 100-dot margin keep their proportions: the same factor across and down.
    auto dots = [&](double points, double from) { return (points - from) / PointsPerDot - 100; };
    const double across = dots(words[u"Right"_s].xMin, area.left()) / 3000;
    const double down = (words[u"Far"_s].yMin - words[u"Near"_s].yMin) / PointsPerDot / (11000 - 25);
    EXPECT_LT(across, 1.0);
    EXPECT_NEAR(down / across, 1.0, 0.01);
}

TEST_F(Printing, AnExportedProtocolIsThePrintedPage) {
    storeBefore({makeTest(31, at(8), std::vector<AxleValues>(3, carAxle())),
                 makeTest(32, at(9), std::vector<AxleValues>(9, carAxle(2)), 1)});
    start();
    key(Qt::Key_F12);
    // Without a default printer both are drawn on the same A4 page, word for word in place.
    const bool samePaper = QPrinterInfo::defaultPrinter().isNull();
    for (const int order : {31, 32}) {
        show(order);
        printTo(pdf("printed.pdf"));
        key(Qt::Key_F9);
        const QString exported = pdf("exported.pdf");
        const ProgramRun r = mirvane({u"--station-dir"_s, dir.path(), u"--export-protocol"_s, QString::number(order), exported});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(exported)) << r.out.toStdString();
        const std::vector<Word> printedWords = pdfWords(pdf("printed.pdf"));
        const std::vector<Word> exportedWords = pdfWords(exported);
        EXPECT_GT(exportedWords.size(), 100u);
        EXPECT_EQ(pdfLines(exportedWords), pdfLines(printedWords)) << order;
        if (samePaper) {
            EXPECT_EQ(exportedWords, printedWords) << order;
        }
    }
}

TEST_F(Printing, AnExportThatCannotBeDoneSaysWhyWithItsOwnExitStatus) {
    storeBefore({makeTest(5, at(8), {carAxle()}), makeTest(7, at(9), {carAxle()}), makeTest(7, at(10), {carAxle()}),
                 makeTest(6, at(11), {carAxle()})});
    QList<int> ids;
    {
        TdmMain dm;
        ASSERT_TRUE(dm.DatabaseConnect(db));
        dm.TableTestsSelect(at(0), at(0));
        for (int r = 0; r < dm.qrTests.rowCount(); ++r)
            ids << dm.qrTests.value(r, u"id"_s).toInt();
        ASSERT_EQ(ids.size(), 4);
        ASSERT_TRUE(dm.TableTestsDelete(ids[3])); // order 6
    }
    QTemporaryDir empty; // a station without its database
    writeFile(QDir(empty.path()).filePath(u"mirvane.ini"_s), "[Program]\nDatabaseEnabled=1\n");
    writeFile(pdf("plain-file"), "x");

    struct Case {
        QStringList args;
        int exitCode;
        QString says; // on the error output, or on the standard output when written
        QString file; // written only when the export succeeds
    };
    const QString out = pdf("out.pdf");
    const QString station = dir.path();
    const Case cases[] = {
        {{u"--export-protocol"_s, u"99"_s, out}, 4, u"no stored test has order number 99"_s, out},
        {{u"--export-protocol"_s, u"6"_s, out}, 4, u"no stored test has order number 6"_s, out},
        {{u"--export-protocol-id"_s, QString::number(ids[3]), out}, 4, u"no stored test has id"_s, out},
        {{u"--export-protocol"_s, u"7"_s, out},
         5,
         u"order number 7 names 2 tests (id %1 of 09.12.2026 09:00:00, id %2 of 09.12.2026 10:00:00); name one "
         u"with --export-protocol-id ID"_s.arg(ids[1]).arg(ids[2]),
         out},
        {{u"--export-protocol"_s, u"5"_s, pdf("no such directory/out.pdf")}, 1, u"cannot write"_s,
         pdf("no such directory/out.pdf")},
        {{u"--export-protocol"_s, u"5"_s, pdf("plain-file/out.pdf")}, 1, u"cannot write"_s, pdf("plain-file/out.pdf")},
        {{u"--export-protocol"_s, u"five"_s, out}, 2, u"--export-protocol needs a whole number, not 'five'"_s, out},
        {{u"--export-protocol"_s, u"5"_s}, 2, u"needs the PDF file to write"_s, out},
        {{u"--export-protocol"_s, u"5"_s, u"--export-protocol-id"_s, u"1"_s, out}, 2, u"each run alone"_s, out},
        {{u"--export-protocol"_s, u"5"_s, out}, 3, u"cannot open the test database"_s, out},
        {{u"--export-protocol-id"_s, QString::number(ids[2]), out}, 0, u"written to "_s + out, out},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        QFile::remove(out);
        const bool noDatabase = c.exitCode == 3;
        const ProgramRun r = mirvane(QStringList{u"--station-dir"_s, noDatabase ? empty.path() : station} + c.args);
        const std::string what = c.args.join(u' ').toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE((c.exitCode == 0 ? r.out : r.err).contains(c.says))
            << what << "\nout: " << r.out.toStdString() << "\nerr: " << r.err.toStdString();
        EXPECT_EQ(QFile::exists(c.file), c.exitCode == 0) << what;
    }
    // The test named by its id is the later of the two that share order number 7.
    const QStringList lines = pdfLines(pdfWords(out));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], u"Протокол испытания тормозной системы № 7"_s);
    EXPECT_TRUE(lines.filter(u"10:00:00"_s).size() == 1) << lines.join(u'\n').toStdString();
}
