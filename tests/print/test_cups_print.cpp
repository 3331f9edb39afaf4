// Printing a protocol for real: a CUPS scheduler with a printer that prints into PDF files,
// made the default printer for the test, and F9 on the station's database page.

#include "DatabasePageFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {

QString runScript(const QString& command, const QString& state, int* exitCode) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"),
            {QStringLiteral(MIRVANE_SOURCE_DIR "/tests/support/cups_pdf.sh"), command, state});
    p.waitForFinished(60000);
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll()).trimmed();
}

// cups-pdf writes into the printing user's $HOME/PDF, the home of the password database.
QString pdfDirectory() {
    const passwd* pw = getpwuid(getuid());
    return QDir(QString::fromLocal8Bit(pw ? pw->pw_dir : "/root")).filePath(QStringLiteral("PDF"));
}

class CupsPrinting : public DatabasePageFixture {
protected:
    static QString state, skip;

    static void SetUpTestSuite() {
        state = QDir::temp().filePath(QStringLiteral("mirvane-cups-%1.state").arg(getpid()));
        int rc = 0;
        const QString out = runScript(QStringLiteral("start"), state, &rc);
        if (rc == 77)
            skip = out;
        else if (rc != 0)
            skip = QStringLiteral("FAILED to start CUPS: ") + out;
    }
    static void TearDownTestSuite() {
        int rc = 0;
        runScript(QStringLiteral("stop"), state, &rc);
    }
};
QString CupsPrinting::state;
QString CupsPrinting::skip;

} // namespace

TEST_F(CupsPrinting, F9PrintsTheProtocolOnTheDefaultPrinter) {
    if (skip.startsWith(QLatin1String("FAILED")))
        FAIL() << skip.toStdString();
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    storeBefore({test(12, at(8), 3)});
    start();
    const QDir out(pdfDirectory());
    const QStringList before = out.entryList({QStringLiteral("*.pdf")}, QDir::Files);

    key(Qt::Key_F12);
    key(Qt::Key_F9);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Протокол испытания № 12 отправлен на печать."));

    // The scheduler hands the page to the PDF printer in its own time.
    QString printed;
    QElapsedTimer waited;
    waited.start();
    while (printed.isEmpty() && waited.elapsed() < 60000) {
        for (const QString& f : QDir(out.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files))
            if (!before.contains(f) && QFileInfo(out.filePath(f)).size() > 0)
                printed = out.filePath(f);
        QThread::msleep(200);
    }
    ASSERT_FALSE(printed.isEmpty()) << "no PDF arrived in " << out.path().toStdString();
    QThread::msleep(500); // let the backend finish writing it

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {printed, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    // The scheduler's conversion keeps the words readable; some digits come back from the
    // extraction as other glyphs (the page itself shows them), so the figures are checked by the
    // printing tests on a PDF device, and here the protocol's texts.
    const QString words = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    for (const char* expected : {"Протокол испытания тормозной системы", "Рабочая тормозная система",
                                 "Стояночная тормозная система", "ИТОГО по ТС", "Удельная тормозная сила",
                                 "Тип транспортного средства", "легковой"})
        EXPECT_TRUE(words.contains(QString::fromUtf8(expected))) << expected << "\n" << words.toStdString();
    EXPECT_EQ(words.count(QStringLiteral("Вес оси, кг")), 3) << words.toStdString(); // three axle panels
    QFile::remove(printed);
}
