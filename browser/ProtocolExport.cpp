#include "ProtocolExport.h"

#include "DatabaseConfig.h"
#include "PrintForm.h"
#include "RecordView.h"
#include "RegularFile.h"
#include "Settings.h"
#include "Station.h"
#include "TdmMain.h"

#include <QBuffer>
#include <QLabel>
#include <QPdfWriter>

namespace ProtocolExport {

namespace {

QString describeTest(const TestsModel& tests, int row) {
    return QStringLiteral("id %1 of %2")
        .arg(tests.value(row, QStringLiteral("id")).toInt())
        .arg(tests.value(row, QStringLiteral("TestDTBegin")).toDateTime().toString(
            QStringLiteral("dd.MM.yyyy hh:mm:ss")));
}

} // namespace

Result exportProtocol(const Station& station, bool byId, int number, const QString& file) {
    // The station's own database, whether or not the station itself has it switched on.
    QString why;
    const std::optional<DatabaseConfig> config =
        DatabaseConfig::fromSettings(loadSettings(station.settingsFile), station.databaseFile(), &why);
    TdmMain dm;
    if (!config || !dm.DatabaseConnect(*config))
        return {NoDatabase, QStringLiteral("cannot open the test database %1: %2")
                                .arg(config ? config->describe() : station.databaseFile(),
                                     config ? dm.lastError() : why)};
    const bool read = byId ? dm.TableTestsSelectId(number) : dm.TableTestsSelectOrder(number);
    if (!read)
        return {NoDatabase,
                QStringLiteral("cannot read the tests of %1: %2").arg(config->describe(), dm.lastError())};

    const TestsModel& tests = dm.qrTests;
    const QString named = byId ? QStringLiteral("id %1").arg(number) : QStringLiteral("order number %1").arg(number);
    if (tests.rowCount() == 0)
        return {NoSuchTest, QStringLiteral("no stored test has %1 in %2").arg(named, config->describe())};
    if (tests.rowCount() > 1) {
        QStringList which;
        for (int r = 0; r < tests.rowCount(); ++r)
            which << describeTest(tests, r);
        return {Ambiguous, QStringLiteral("%1 names %2 tests (%3); name one with --export-protocol-id ID")
                               .arg(named)
                               .arg(tests.rowCount())
                               .arg(which.join(QStringLiteral(", ")))};
    }

    RecordView view;
    view.ShowInfo(tests, 0, dm.qrAxles);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        const ProtocolPage page = protocolPage();
        QPdfWriter writer(&pdf);
        writer.setPageLayout(page.layout);
        writer.setResolution(page.resolution);
        writer.setCreator(QStringLiteral("Mirvane"));
        writer.setTitle(QStringLiteral("Протокол испытания № ") + view.lbOrderNumber->text());
        QString error;
        if (PrintForm(view, RecordView::PrintTag, writer, &error) < 0)
            return {NotWritten, QStringLiteral("cannot draw the protocol: %1").arg(error)};
    }
    QString error;
    if (!RegularFile::writeAtomically(file, pdf.data(), &error))
        return {NotWritten, QStringLiteral("cannot write the PDF file: %1").arg(error)};
    return {Written, QStringLiteral("protocol of test %1 (order number %2) written to %3")
                         .arg(describeTest(tests, 0), view.lbOrderNumber->text(), file)};
}

} // namespace ProtocolExport
