#include "AnsiText.h"
#include "IniFile.h"
#include "Settings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>

TEST(IniFile, ReadsLikeAWindowsProfile) {
    IniFile ini;
    ini.parse(QStringLiteral("; comment line\r\n"
                             "  [ DeViCe ]  \r\n"
                             "  Baud =  19200  \r\n"
                             "baud=4800\r\n"            // first occurrence wins
                             ";Address=7\r\n"           // commented out
                             "Name=\"  quoted  \"\r\n"  // quotes go, the blanks inside stay
                             "Other='x'\r\n"
                             "Half=\"open\r\n"          // unmatched quote stays
                             "NoEquals\r\n"
                             "[device]\r\n"             // a repeated section adds nothing
                             "Address=9\n"
                             "[IR]\rEnabled=1\r"));
    EXPECT_EQ(ini.readString(QStringLiteral("device"), QStringLiteral("BAUD"), {}), QStringLiteral("19200"));
    EXPECT_FALSE(ini.value(QStringLiteral("Device"), QStringLiteral("Address")).has_value());
    EXPECT_EQ(ini.readString(QStringLiteral("Device"), QStringLiteral("Name"), {}), QStringLiteral("  quoted  "));
    EXPECT_EQ(ini.readString(QStringLiteral("Device"), QStringLiteral("Other"), {}), QStringLiteral("x"));
    EXPECT_EQ(ini.readString(QStringLiteral("Device"), QStringLiteral("Half"), {}), QStringLiteral("\"open"));
    EXPECT_EQ(ini.readInteger(QStringLiteral("ir"), QStringLiteral("enabled"), 0), 1);
    EXPECT_EQ(ini.readString(QStringLiteral("Nowhere"), QStringLiteral("Key"), QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST(IniFile, ParsesIntegersInDecimalAndBothHexNotations) {
    struct Case {
        const char* text;
        std::optional<qint32> value;
    };
    const Case cases[] = {
        {"10", 10},          {"-5", -5},           {"+7", 7},           {"0x1F", 31},
        {"0X1f", 31},        {"$1f", 31},          {"$FFFFFFFF", -1},   {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<qint32>::min()},            {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},              {"yes", std::nullopt}, {"true", std::nullopt},
        {"", std::nullopt},  {"12abc", std::nullopt}, {"1.5", std::nullopt}, {"0x", std::nullopt},
        {"$", std::nullopt}, {"0xG", std::nullopt},  {"٣", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniFile::parseInteger(QString::fromUtf8(c.text)), c.value) << c.text;
}

class SettingsFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("mirvane.ini")); }
    Settings load(const char* text) {
        writeFile(path(), QByteArray(text));
        return loadSettings(path());
    }
};

TEST_F(SettingsFile, MissingFileGivesEveryDefault) {
    const Settings s = loadSettings(path());
    EXPECT_EQ(s.ComNumber, 1);
    EXPECT_EQ(s.Baud, 9600);
    EXPECT_EQ(s.Address, 1);
    EXPECT_EQ(s.ProfileFile, QStringLiteral("Profile.dat"));
    EXPECT_TRUE(s.KalvexType.isEmpty());
    EXPECT_TRUE(s.KalvexSerial.isEmpty());
    EXPECT_FALSE(s.IREnabled);
    EXPECT_EQ(s.IRComNumber, 5);
    EXPECT_EQ(s.IRBaud, 9600);
    EXPECT_FALSE(s.fPrintAct);
    EXPECT_FALSE(s.fIRDebug);
    EXPECT_FALSE(s.fDataBaseEnabled);
    EXPECT_FALSE(s.fDebugOLE);
    EXPECT_TRUE(s.fPCDateTime);
    EXPECT_TRUE(s.PortName.isEmpty());
    EXPECT_TRUE(s.IRPortName.isEmpty());
    EXPECT_TRUE(s.oleLogPath().endsWith(QStringLiteral("/ole_log.txt")));
}

TEST_F(SettingsFile, TruncatesAddressAndPortNumbers) {
    struct Case {
        const char* address;
        quint8 expected;
    };
    for (const Case& c : {Case{"256", 0}, Case{"257", 1}, Case{"0x1FF", 255}, Case{"-1", 255}}) {
        const Settings s = load(QByteArray("[Device]\nAddress=").append(c.address).constData());
        EXPECT_EQ(s.Address, c.expected) << c.address;
    }
    const Settings s = load("[Device]\nComNumber=65537\n[IR]\nComNumber=$10002\n");
    EXPECT_EQ(s.comPortNumber(), 1);
    EXPECT_EQ(s.irPortNumber(), 2);
}

TEST_F(SettingsFile, BooleansAreIntegersAndWordsTakeTheDefault) {
    const Settings s = load("[program]\n"
                            "PrintAct=2\n"
                            "RCEnabled=yes\n"
                            "DatabaseEnabled=true\n"
                            "DebugOLE=0x1\n"
                            "PCDateTime=0\n"
                            "[ir]\nENABLED=-1\n");
    EXPECT_TRUE(s.fPrintAct);
    EXPECT_FALSE(s.fIRDebug);         // "yes": default false
    EXPECT_FALSE(s.fDataBaseEnabled); // "true": default false
    EXPECT_TRUE(s.fDebugOLE);
    EXPECT_FALSE(s.fPCDateTime);
    EXPECT_TRUE(s.IREnabled);
}

TEST_F(SettingsFile, ReadsEveryKeyWithMixedCaseNamesAndHex) {
    const Settings s = load("[DEVICE]\n"
                            "comnumber=$3\n"
                            "BAUD=0x1C200\n"
                            "address=17\n"
                            "profilefile=Stand.dat\n"
                            "KALVEXTYPE=Калвекс-16000\n"
                            "kalvexserial=\"A 123\"\n"
                            "PortName=/dev/ttyUSB0\n"
                            "[Ir]\nEnabled=1\nComNumber=6\nBaud=4800\nportname=/dev/pts/7\n"
                            "[PROGRAM]\nOleLogFile=/tmp/log.txt\nProtocolDir=/srv/p\n");
    EXPECT_EQ(s.ComNumber, 3);
    EXPECT_EQ(s.Baud, 115200);
    EXPECT_EQ(s.Address, 17);
    EXPECT_EQ(s.ProfileFile, QStringLiteral("Stand.dat"));
    EXPECT_EQ(s.KalvexType, QStringLiteral("Калвекс-16000"));
    EXPECT_EQ(s.KalvexSerial, QStringLiteral("A 123"));
    EXPECT_EQ(s.PortName, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(s.IREnabled);
    EXPECT_EQ(s.IRComNumber, 6);
    EXPECT_EQ(s.IRBaud, 4800);
    EXPECT_EQ(s.IRPortName, QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(s.oleLogPath(), QStringLiteral("/tmp/log.txt"));
    EXPECT_EQ(s.ProtocolDir, QStringLiteral("/srv/p"));
}

TEST_F(SettingsFile, ReadsTextInTheCyrillicCodePageAndWithByteOrderMarks) {
    const QString type = QStringLiteral("Стенд тормозной");
    writeFile(path(), "[Device]\r\nKalvexType=" + AnsiText::encode(type) + "\r\n");
    EXPECT_EQ(loadSettings(path()).KalvexType, type);

    QByteArray utf16("\xFF\xFE");
    const QString text = QStringLiteral("[Device]\r\nKalvexType=") + type + QStringLiteral("\r\n");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    writeFile(path(), utf16);
    EXPECT_EQ(loadSettings(path()).KalvexType, type);
}

TEST_F(SettingsFile, ASectionOfManyKeysKeepsTheFirstOfEachAndFindsTheLast) {
    QByteArray text = "[Device]\r\nBaud=4800\r\n";
    for (int k = 0; k < 200000; ++k)
        text += "Key" + QByteArray::number(k) + "=" + QByteArray::number(k) + "\r\n";
    text += "BAUD=19200\r\nAddress=9\r\n[Device]\r\nComNumber=4\r\n[Program]\r\nRCEnabled=1\r\n";
    const Settings s = load(text.constData());
    EXPECT_EQ(s.Baud, 4800);     // the first occurrence, 200 000 keys before the second
    EXPECT_EQ(s.Address, 9);     // behind all of them
    EXPECT_EQ(s.ComNumber, 1);   // a repeated section adds nothing
    EXPECT_TRUE(s.fIRDebug);
    IniFile ini;
    ASSERT_TRUE(ini.load(path()));
    EXPECT_EQ(ini.readString(QStringLiteral("device"), QStringLiteral("KEY199999"), {}), QStringLiteral("199999"));
    EXPECT_FALSE(ini.value(QStringLiteral("Device"), QStringLiteral("Key200000")).has_value());
}

TEST_F(SettingsFile, AnythingButARegularFileGivesTheDefaultsWithoutWaiting) {
    // A FIFO would block an ordinary open until someone writes to it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    IniFile ini;
    QString error;
    EXPECT_FALSE(ini.load(path(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a regular file"))) << error.toStdString();
    EXPECT_EQ(loadSettings(path()).Baud, 9600);
    EXPECT_EQ(loadSettings(dir.path()).ComNumber, 1); // a directory
}

TEST(AnsiText, RoundTripsTheCodePageAndMarksWhatItLacks) {
    const QString text = QStringLiteral("Протокол №5 — «ОК» ёЁ");
    EXPECT_EQ(AnsiText::decode(AnsiText::encode(text)), text);
    EXPECT_EQ(AnsiText::encode(QStringLiteral("A✓ä")), QByteArray("A??"));
    EXPECT_EQ(AnsiText::encode(QStringLiteral("АБ")), QByteArray("\xC0\xC1"));
}
