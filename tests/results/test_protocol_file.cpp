#include "ProtocolFile.h"
#include "TestHandOver.h"

#include "AnsiText.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

using TestAssembly::NoValue;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString fixture(const char* name) {
    return QStringLiteral(MIRVANE_SOURCE_DIR "/tests/results/data/") + QLatin1String(name);
}

// The 3-axle test of the golden protocol.
void threeAxleTest(StandLink& link) {
    link.FinalOKData = {0,    3082, 2564, 351, 15, 6, 2025, 0, 0, 42, 0, 9, 12,
                        2026, 14,   5,    0,   0,  0, 0,    0, 0, 0,  3, 0, 1};
    const uint16_t X = NoValue;
    const std::array<std::array<uint16_t, 32>, 3> axles = {{
        {1500, 1600, 1510, 1590, 12, 15, X, 3, 4, 5, 500, 450, 300, 280, 0, 0,
         7,    8,    350,  360,  0,  1,  2, 3, 4, 5, 40,  41,  0,   0,   0, 0},
        {40000, 30000, 1, 2, 65534, 0, 9, 9, 9, 9, 3, 2, 0, 0, X, X,
         1,     1,     2, 2, 3,     3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8},
        {1000, 1200, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, X, X, 0, 0,
         0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    }};
    for (auto& row : link.AxleOkData)
        row.fill(X);
    for (int a = 1; a <= 3; ++a)
        std::copy(axles[a - 1].begin(), axles[a - 1].end(), link.AxleOkData[a].begin() + 1);
    // The controller's terminating block: no axle, yet two words that are not marks.
    link.AxleOkData[4][5] = 7;
    link.AxleOkData[4][32] = 0;
    link.CurrentAxle = 4;
}

// Text of axle a's cell (seven characters) in a table line of name width W.
QString cell(const QString& line, int W, int a) {
    return line.mid(W + 2 + (a - 1) * 8, 7);
}

} // namespace

TEST(ProtocolText, AlignPadsButNeverShortens) {
    struct Case {
        const char* text;
        int width;
        const char* right;
        const char* left;
    };
    const Case cases[] = {
        {"ab", 5, "   ab", "ab   "},
        {"abcdef", 3, "abcdef", "abcdef"},
        {"", 2, "  ", "  "},
        {"x", 0, "x", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProtocolFile::AlignRight(QString::fromLatin1(c.text), c.width),
                  QString::fromLatin1(c.right));
        EXPECT_EQ(ProtocolFile::AlignLeft(QString::fromLatin1(c.text), c.width), QString::fromLatin1(c.left));
    }
}

TEST(ProtocolText, TitlesAreReadInAnyEncodingWithAnyLineEnd) {
    const QString text = QStringLiteral("Вес\r\nСила\rОвальность\n\nПоследняя");
    const QStringList expected = {QStringLiteral("Вес"), QStringLiteral("Сила"), QStringLiteral("Овальность"),
                                  QString(), QStringLiteral("Последняя")};
    using Encode = std::function<QByteArray(const QString&)>;
    const Encode encodings[] = {
        [](const QString& t) { return AnsiText::encode(t); },
        [](const QString& t) { return "\xEF\xBB\xBF" + t.toUtf8(); },
        [](const QString& t) {
            return QByteArray("\xFF\xFE") + QStringEncoder(QStringEncoder::Utf16LE).encode(t);
        },
        [](const QString& t) {
            return QByteArray("\xFE\xFF") + QStringEncoder(QStringEncoder::Utf16BE).encode(t);
        },
    };
    for (const Encode& encode : encodings) {
        EXPECT_EQ(ProtocolFile::titleLines(encode(text)), expected)
            << encode(text).toHex().left(8).toStdString();
        EXPECT_EQ(ProtocolFile::titleLines(encode(text + QStringLiteral("\r\n"))), expected);
    }
    EXPECT_EQ(ProtocolFile::titleLines(QByteArray()), QStringList());
    EXPECT_EQ(ProtocolFile::titleLines("\n"), QStringList{QString()});
}

class Protocol : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RegisterImage image;
    StandLink link{image};
    Settings settings;
    FixedClock clock; // 09.12.2026 14:05:07
    TestStorage offline{dir.filePath(QStringLiteral("Outbox"))}; // never started: no database
    QString titles = dir.filePath(QStringLiteral("Titles.txt"));
    TestHandOver handOver{link, settings, offline, clock, titles};

    void SetUp() override {
        settings.fPrintAct = true;
        settings.ProtocolDir = dir.filePath(QStringLiteral("protocols"));
        QDir().mkpath(settings.ProtocolDir);
        threeAxleTest(link);
        writeFile(titles, readFile(fixture("Titles-w30.txt")));
    }
    QString protocolPath() const {
        return QDir(settings.ProtocolDir).filePath(QStringLiteral("2026-12-09 14-05-07.txt"));
    }
};

TEST_F(Protocol, ThreeAxleTestMatchesTheGoldenFileByteForByte) {
    const QByteArray golden = readFile(fixture("protocol-3-axles.txt"));
    ASSERT_FALSE(golden.isEmpty());

    const TestHandOver::Protocol p = handOver.WriteProtocol();
    EXPECT_TRUE(p.written) << p.error.toStdString();
    EXPECT_EQ(p.path, protocolPath());
    EXPECT_EQ(readFile(protocolPath()), golden);
    EXPECT_EQ(p.lines.size(), 42);
    EXPECT_EQ(link.CurrentAxle, 4); // the protocol does not look at it

    // The same header file saved as UTF-16 gives the same protocol.
    const QString names = AnsiText::decode(readFile(fixture("Titles-w30.txt")));
    QStringEncoder le(QStringEncoder::Utf16LE);
    writeFile(titles, QByteArray("\xFF\xFE") + QByteArray(le.encode(names)));
    QFile::remove(protocolPath());
    EXPECT_TRUE(handOver.WriteProtocol().written);
    EXPECT_EQ(readFile(protocolPath()), golden);
}

TEST_F(Protocol, TableLinesFollowTheNameWidth) {
    const QStringList lines = handOver.WriteProtocol().lines;
    ASSERT_EQ(lines.size(), 42);
    const int W = 30;
    EXPECT_EQ(lines[3], QStringLiteral(
                            "|          ОСЬ                 |   1   |   2   |   3   |   4   |   5   |   6   |"
                            "   7   |   8   |   9   |"));
    for (int i = 2; i < 42; ++i)
        EXPECT_EQ(lines[i].size(), W + 74) << i;
    EXPECT_EQ(lines[2], QString(104, QLatin1Char('-')));
    EXPECT_TRUE(lines[1].endsWith(QLatin1String("| 0 | 3 | 0 | 1 | ")));

    struct Case {
        int line, axle;
        const char* text;
    };
    const Case cases[] = {
        {5, 1, "  1500 "},                      // a measured value
        {11, 1, "       "},                     // 65535 in an existing axle
        {25, 1, "     0 "},                     // 0
        {9, 4, "     7 "},                      // the terminating block shows its measured words...
        {38, 4, "       "},                     // ...but no worked-out values
        {9, 5, "       "},  {38, 2, " 70000 "}, // weight in 32 bits, no wrap
        {39, 1, "    10 "},                     // 500 and 450
        {39, 2, "    33 "},                     // 3 and 2
        {39, 3, "     0 "},                     // no brake force at all
        {41, 1, "    30 "},                     // 950 x 100 / 3100, cut
    };
    for (const Case& c : cases)
        EXPECT_EQ(cell(lines[c.line], W, c.axle), QString::fromLatin1(c.text))
            << c.line << " axle " << c.axle;
}

TEST_F(Protocol, NothingIsWrittenWithoutAUsableHeaderFileOrWithPrintActOff) {
    const QStringList thirtySix = [] {
        QStringList l;
        for (int i = 1; i <= 36; ++i)
            l << QStringLiteral("Строка %1").arg(i);
        return l;
    }();
    struct Case {
        const char* name;
        std::optional<QByteArray> file; // none: no Titles.txt
    };
    const Case cases[] = {
        {"missing", std::nullopt},
        {"35 lines", AnsiText::encode(thirtySix.mid(0, 35).join(QStringLiteral("\r\n")))},
        {"width 2", QByteArray("ab\r\n").repeated(36)},
        {"width 256", AnsiText::encode(thirtySix.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n") +
                                       QString(256, QLatin1Char('x')))},
    };
    for (const Case& c : cases) {
        QFile::remove(titles);
        if (c.file)
            writeFile(titles, *c.file);
        const TestHandOver::Protocol p = handOver.WriteProtocol();
        EXPECT_FALSE(p.written) << c.name;
        EXPECT_TRUE(p.lines.isEmpty()) << c.name;
        EXPECT_FALSE(p.error.isEmpty()) << c.name;
        EXPECT_TRUE(QDir(settings.ProtocolDir).isEmpty()) << c.name;
    }

    writeFile(titles, AnsiText::encode(thirtySix.join(QStringLiteral("\n"))));
    settings.fPrintAct = false;
    EXPECT_TRUE(handOver.WriteProtocol().lines.isEmpty());
    EXPECT_TRUE(QDir(settings.ProtocolDir).isEmpty());
    settings.fPrintAct = true;
    EXPECT_TRUE(handOver.WriteProtocol().written);
}

TEST_F(Protocol, GoesToTheWorkingDirectoryUnlessProtocolDirIsSetAndReplacesAFileOfTheSameSecond) {
    settings.ProtocolDir.clear();
    const QString cwd = QDir::currentPath();
    QTemporaryDir work;
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const TestHandOver::Protocol p = handOver.WriteProtocol();
    EXPECT_TRUE(QFile::exists(work.filePath(QStringLiteral("2026-12-09 14-05-07.txt"))));
    QDir::setCurrent(cwd);
    EXPECT_TRUE(p.written);

    // A second protocol within the same second replaces the first.
    settings.ProtocolDir = dir.filePath(QStringLiteral("protocols"));
    writeFile(protocolPath(), "an older protocol of the same second");
    EXPECT_TRUE(handOver.WriteProtocol().written);
    EXPECT_EQ(readFile(protocolPath()), readFile(fixture("protocol-3-axles.txt")));

    // A directory that cannot take the file: no file, but the lines are there for the memo.
    settings.ProtocolDir = dir.filePath(QStringLiteral("no/such/dir"));
    const TestHandOver::Protocol failed = handOver.WriteProtocol();
    EXPECT_FALSE(failed.written);
    EXPECT_EQ(failed.lines.size(), 42);
    EXPECT_TRUE(failed.error.contains(QLatin1String("no/such/dir")));
}

TEST_F(Protocol, APlantedLinkIsReplacedNotFollowedAndAFifoAtTheHeaderFileIsRefusedAtOnce) {
    // A link at the protocol's name pointing at a file of value: the file stays as it was.
    const QString precious = dir.filePath(QStringLiteral("precious.txt"));
    writeFile(precious, "not a protocol");
    ASSERT_TRUE(QFile::link(precious, protocolPath()));
    const TestHandOver::Protocol p = handOver.WriteProtocol();
    EXPECT_TRUE(p.written) << p.error.toStdString();
    EXPECT_EQ(readFile(precious), QByteArray("not a protocol"));
    EXPECT_FALSE(QFileInfo(protocolPath()).isSymLink());
    EXPECT_EQ(readFile(protocolPath()), readFile(fixture("protocol-3-axles.txt")));

    // A FIFO at Titles.txt that nobody writes to: no protocol, the reason, and no waiting.
    QFile::remove(titles);
    ASSERT_EQ(::mkfifo(QFile::encodeName(titles).constData(), 0644), 0);
    QFile::remove(protocolPath());
    QElapsedTimer took;
    took.start();
    const TestHandOver::Protocol fifo = handOver.WriteProtocol();
    EXPECT_LT(took.elapsed(), 1000);
    EXPECT_FALSE(fifo.written);
    EXPECT_TRUE(fifo.error.contains(QLatin1String("not a regular file"))) << fifo.error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(protocolPath()));
}
