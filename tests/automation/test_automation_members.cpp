#include "AutomationError.h"
#include "KalvexHost.h"
#include "LockHolder.h"
#include "OleLog.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"
#include "TKalvex.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// A station's automation state: a profile with tags on two pages, page 1 read once.
class Automation : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<RegisterImage> image = std::make_unique<RegisterImage>();
    StandLink link{*image};
    Settings settings;
    FixedClock clock;
    KalvexHost host{link, *image, settings, clock};
    TKalvex kalvex{host};
    bool visible = true;

    void SetUp() override {
        writeFile(dir.filePath(QStringLiteral("Profile.dat")),
                  "[Reg_1]\nName=Brake1\nPage=1\nAddress=10\n"
                  "[Reg_2]\nName=Brake2\nPage=1\nAddress=11\nDebugValue=77\n"
                  "[Reg_3]\nName=Pressure\nPage=2\nAddress=5\n");
        image->loadProfile(dir.filePath(QStringLiteral("Profile.dat")));
        const uint16_t words[2] = {530, 531};
        image->storePageWords(1, words, 2);
        link.PageStatus = 1;
        settings.OleLogFile = logPath();
        host.isWindowVisible = [this] { return visible; };
        host.setWindowVisible = [this](bool v) { visible = v; };
    }
    QString logPath() const { return dir.filePath(QStringLiteral("ole_log.txt")); }
    QByteArray log() const {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(Automation, RequestTagAsksForThePageOfAKnownTagOnly) {
    EXPECT_EQ(kalvex.RequestTag(QStringLiteral("brake1")).toString(), QString());
    EXPECT_EQ(kalvex.CurrentPage(), 0);
    EXPECT_FALSE(link.fRequest);

    EXPECT_EQ(kalvex.RequestTag(QStringLiteral("Pressure")).toString(), QStringLiteral("Pressure"));
    EXPECT_EQ(kalvex.RequestTag(QStringLiteral("Brake2")).toString(), QStringLiteral("Brake2"));
    EXPECT_EQ(kalvex.CurrentPage(), 1); // only the later page is read
    EXPECT_TRUE(link.fRequest);
    EXPECT_EQ(kalvex.PageStatus(), 1); // changes only when the read is sent
}

TEST_F(Automation, GetTagAsWordReadsTheImageWithoutStartingARead) {
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Brake1")), 530);
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Pressure")), 0); // page never read
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Nobody")), 0);
    EXPECT_FALSE(link.fRequest);
    const uint16_t high[1] = {65535};
    image->storePageWords(2, high, 1);
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Pressure")), 65535); // widened without sign
}

TEST_F(Automation, NumericTagsAreTheirDecimalTextAndOtherTypesFail) {
    writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=42\nPage=3\n");
    image->loadProfile(dir.filePath(QStringLiteral("Profile.dat")));
    // Every integer type a client may send, bytes included (D-Bus 'y'), is its decimal text.
    for (const QVariant& v : {QVariant(42), QVariant::fromValue<uchar>(42), QVariant::fromValue<signed char>(42),
                              QVariant::fromValue<short>(42), QVariant::fromValue<qulonglong>(42)}) {
        link.CurrentPage = 0;
        EXPECT_EQ(kalvex.RequestTag(v).toString(), QStringLiteral("42")) << v.typeName();
        EXPECT_EQ(kalvex.CurrentPage(), 3) << v.typeName();
    }
    link.fRequest = false;
    EXPECT_THROW(kalvex.RequestTag(QVariant(QStringList{QStringLiteral("42")})), AutomationError);
    EXPECT_THROW(kalvex.GetTagAsWord(QVariant(1.5)), AutomationError);
    EXPECT_FALSE(link.fRequest);
}

TEST_F(Automation, PropertiesFollowTheStationAndIgnoreWrites) {
    link.CurrentPage = 4;
    link.PageStatus = 3;
    link.fConnect = true;
    kalvex.setCurrentPage(9);
    kalvex.setPageStatus(1);
    EXPECT_EQ(kalvex.CurrentPage(), 4);
    EXPECT_EQ(kalvex.PageStatus(), 3);
    EXPECT_TRUE(kalvex.Connect());
    kalvex.setVisible(false);
    EXPECT_FALSE(kalvex.Visible());
    kalvex.setVisible(true);
    EXPECT_TRUE(kalvex.Visible());
}

TEST_F(Automation, DebugModeGivesDebugValuesAFinishedPageAndLogsEveryCall) {
    settings.fDebugOLE = true;
    link.PageStatus = 2;
    EXPECT_EQ(kalvex.PageStatus(), 1);
    EXPECT_EQ(kalvex.RequestTag(QStringLiteral("Brake1")).toString(), QStringLiteral("Brake1"));
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Brake1")), 1); // the default debug value
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Brake2")), 77);
    EXPECT_EQ(kalvex.GetTagAsWord(QStringLiteral("Nobody")), 0);

    const QString stamp = QStringLiteral("[09.12.2026 14:05:07:12] ");
    const QByteArray expected = utf16le(stamp + QStringLiteral("[RequestTag]Brake1\r\n") + stamp +
                                        QStringLiteral("[GetValueByGatAsWord]Brake1\r\n") + stamp +
                                        QStringLiteral("Реальное значение :530 Возвращаем:1\r\n") + stamp +
                                        QStringLiteral("[GetValueByGatAsWord]Brake2\r\n") + stamp +
                                        QStringLiteral("Реальное значение :531 Возвращаем:77\r\n") + stamp +
                                        QStringLiteral("[GetValueByGatAsWord]Nobody\r\n"));
    EXPECT_EQ(log(), expected);

    // Later calls, also of another run, append.
    KalvexHost again{link, *image, settings, clock};
    TKalvex(again).RequestTag(QStringLiteral("X"));
    EXPECT_TRUE(log().startsWith(expected));
    EXPECT_TRUE(log().endsWith(utf16le(QStringLiteral("[RequestTag]X\r\n"))));
}

TEST_F(Automation, WithoutDebugModeNoLogFileIsTouched) {
    kalvex.RequestTag(QStringLiteral("Brake1"));
    kalvex.GetTagAsWord(QStringLiteral("Brake1"));
    EXPECT_FALSE(QFile::exists(logPath()));
}

TEST_F(Automation, ALogThatCannotBeWrittenEndsTheCallBeforeItsWork) {
    settings.fDebugOLE = true;
    // A symbolic link at the log's path is never followed.
    const QString target = dir.filePath(QStringLiteral("elsewhere.txt"));
    writeFile(target, "keep");
    ASSERT_TRUE(QFile::link(target, logPath()));
    try {
        kalvex.RequestTag(QStringLiteral("Brake1"));
        FAIL() << "the call went on";
    } catch (const AutomationError& e) {
        EXPECT_TRUE(e.text().contains(logPath())) << e.text().toStdString();
    }
    EXPECT_FALSE(link.fRequest);
    QFile t(target);
    ASSERT_TRUE(t.open(QIODevice::ReadOnly));
    EXPECT_EQ(t.readAll(), QByteArray("keep"));

    settings.OleLogFile = dir.filePath(QStringLiteral("no/such/dir/log.txt"));
    EXPECT_THROW(kalvex.GetTagAsWord(QStringLiteral("Brake1")), AutomationError);
}

// The log must never hold the station: what is not a regular file is refused at once, and a
// lock of another program is waited for only briefly.
TEST_F(Automation, ALogThatIsNoRegularFileOrIsLockedFailsTheCallWithoutHoldingTheStation) {
    settings.fDebugOLE = true;
    struct Case {
        const char* what;
        std::function<QString()> make; // returns the log path
    };
    const Case cases[] = {
        {"a FIFO nobody reads",
         [&] {
             const QString p = dir.filePath(QStringLiteral("fifo"));
             ::mkfifo(QFile::encodeName(p).constData(), 0600);
             return p;
         }},
        {"a device", [] { return QStringLiteral("/dev/null"); }},
        {"a directory", [&] { return dir.path(); }},
    };
    for (const Case& c : cases) {
        settings.OleLogFile = c.make();
        QElapsedTimer t;
        t.start();
        EXPECT_THROW(kalvex.RequestTag(QStringLiteral("Brake1")), AutomationError) << c.what;
        EXPECT_LT(t.elapsed(), 50) << c.what;
        EXPECT_FALSE(link.fRequest) << c.what;
    }

    // Another program holds the log locked (flock(1) and a record lock alike): the call waits
    // a tenth of a second, then fails and does nothing; once the lock is gone it works.
    settings.OleLogFile = logPath();
    writeFile(logPath(), "");
    for (const QStringList& command :
         {LockHolder::flock(logPath()),
          QStringList{QStringLiteral("python3"), QStringLiteral("-c"),
                      QStringLiteral("import fcntl,sys,time\nf=open(sys.argv[1],'r+')\n"
                                     "fcntl.lockf(f,fcntl.LOCK_EX)\nprint('held',flush=True)\ntime.sleep(30)"),
                      logPath()}}) {
        SCOPED_TRACE(command.first().toStdString());
        auto holder = std::make_unique<LockHolder>(command);
        ASSERT_TRUE(holder->held());
        QElapsedTimer t;
        t.start();
        try {
            kalvex.RequestTag(QStringLiteral("Brake1"));
            ADD_FAILURE() << "the call went on past a held lock";
        } catch (const AutomationError& e) {
            EXPECT_TRUE(e.text().contains(QStringLiteral("занят"))) << e.text().toStdString();
        }
        EXPECT_GE(t.elapsed(), OleLog::LockWaitMs);
        EXPECT_LT(t.elapsed(), OleLog::LockWaitMs + 400);
        EXPECT_FALSE(link.fRequest);
        EXPECT_EQ(log(), QByteArray());
        holder.reset();
        EXPECT_EQ(kalvex.RequestTag(QStringLiteral("Brake1")).toString(), QStringLiteral("Brake1"));
        EXPECT_TRUE(log().endsWith(utf16le(QStringLiteral("[RequestTag]Brake1\r\n"))));
        link.fRequest = false;
        writeFile(logPath(), "");
    }
}

TEST_F(Automation, ARelativeLogNameIsTakenFromTheStationDirectory) {
    settings.fDebugOLE = true;
    settings.OleLogFile = QStringLiteral("logs/ole.txt");
    QDir(dir.path()).mkpath(QStringLiteral("logs"));
    host.setStationDir(dir.path());
    kalvex.RequestTag(QStringLiteral("Brake1"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("logs/ole.txt"))));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("logs/ole.txt"))));
}

TEST(OleLogStamp, RepeatsTheMonthInItsLastField) {
    EXPECT_EQ(OleLog::timeStamp(QDateTime(QDate(2026, 12, 9), QTime(14, 5, 7, 999))),
              QStringLiteral("[09.12.2026 14:05:07:12] "));
    EXPECT_EQ(OleLog::timeStamp(QDateTime(QDate(2027, 1, 31), QTime(0, 0, 0))),
              QStringLiteral("[31.01.2027 00:00:00:01] "));
}
