#include "CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the program's version and exit.")};
    QCommandLineOption stationDir{QStringLiteral("station-dir"),
                                  QStringLiteral("The station directory (settings, profile, database, "
                                                 "Titles.txt). Default: $MIRVANE_STATION_DIR, else the "
                                                 "program's own directory when it holds the settings, "
                                                 "else $XDG_DATA_HOME/mirvane (~/.local/share/mirvane), "
                                                 "laid out at the first start."),
                                  QStringLiteral("DIR")};
    QCommandLineOption createDatabase{QStringLiteral("create-database"),
                                      QStringLiteral("Create an empty test database at PATH (default: "
                                                     "Mirvane.db in the station directory) and exit.")};
    QCommandLineOption initStation{QStringLiteral("init-station"),
                                   QStringLiteral("Lay out a new station directory from the sample station "
                                                  "files, with an empty database, and exit."),
                                   QStringLiteral("DIR")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Save the main window as PNG and exit."),
                                  QStringLiteral("FILE")};
    QCommandLineOption screenshotAfter{
        QStringLiteral("screenshot-after"),
        QStringLiteral("Milliseconds after start for --screenshot (default 1000)."), QStringLiteral("MS")};

    QCommandLineOption recordDemo{QStringLiteral("record-demo"),
                                  QStringLiteral("Unattended run: save DIR/board.png while the stand measures "
                                                 "and DIR/database.png once the next finished test is "
                                                 "stored (with it selected), then exit."),
                                  QStringLiteral("DIR")};

    QCommandLineOption exportProtocol{
        QStringLiteral("export-protocol"),
        QStringLiteral("Draw the protocol of the stored test with this order number, the page the "
                       "printer gets, into the PDF file FILE and exit."),
        QStringLiteral("ORDER_NUMBER")};
    QCommandLineOption exportProtocolId{
        QStringLiteral("export-protocol-id"),
        QStringLiteral("The same for the test with this id (the first column of the database's Tests "
                       "table), for order numbers that several tests share."),
        QStringLiteral("ID")};

    void addTo(QCommandLineParser& p) const {
        p.addOptions(
            {help, version, stationDir, createDatabase, initStation, screenshot, screenshotAfter, recordDemo});
        p.addOptions({exportProtocol, exportProtocolId});
        p.addPositionalArgument(QStringLiteral("PATH"),
                                QStringLiteral("With --create-database: the new file."),
                                QStringLiteral("[PATH]"));
        p.addPositionalArgument(QStringLiteral("FILE"),
                                QStringLiteral("With --export-protocol(-id): the PDF file to write."),
                                QStringLiteral("[FILE]"));
    }
};

const QRegularExpression& automationSwitch() {
    static const QRegularExpression re(
        QStringLiteral(
            "^[-/](AUTOMATION|EMBEDDING|REGSERVER|UNREGSERVER|REGSERVERPERUSER|UNREGSERVERPERUSER)$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

} // namespace

QString commandLineHelp() {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Mirvane: the operator station of a roller brake-test stand."));
    Options().addTo(p);
    QString text = p.helpText();
    // The parser names the executable it runs in; the help is about this program.
    text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: mirvane"));
    text +=
        QStringLiteral("\nAutomation switches (with - or /, in any letter case, anywhere on the line):\n"
                       "  -EMBEDDING, -AUTOMATION    Started for an automation client: end with the last\n"
                       "                             object; -EMBEDDING as the first argument also skips\n"
                       "                             the about box.\n"
                       "  -REGSERVER, -UNREGSERVER   Install or remove the D-Bus activation for all users.\n"
                       "  -REGSERVERPERUSER, -UNREGSERVERPERUSER\n"
                       "                             The same for the current user only.\n");
    text += QStringLiteral("\nExit status of --export-protocol and --export-protocol-id:\n"
                           "  0 the PDF is written; 1 it cannot be written; 2 a wrong command line;\n"
                           "  3 the database cannot be opened; 4 no such test (deleted tests count as\n"
                           "  none); 5 the order number names several tests (their ids are listed).\n");
    return text;
}

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine cl;
    cl.automation = parseAutomationSwitches(arguments);
    QStringList rest{QStringLiteral("mirvane")};
    for (const QString& a : arguments)
        if (!automationSwitch().match(a).hasMatch())
            rest << a;

    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const Options o;
    o.addTo(p);
    auto fail = [&](const QString& why) {
        cl.mode = CommandLine::Mode::Error;
        cl.error = why;
        return cl;
    };
    if (!p.parse(rest))
        return fail(p.errorText());
    if (p.isSet(o.help) || p.isSet(o.version)) {
        cl.mode = p.isSet(o.help) ? CommandLine::Mode::Help : CommandLine::Mode::Version;
        return cl;
    }

    cl.stationDir = p.value(o.stationDir);
    if (p.isSet(o.stationDir) && !QFileInfo(cl.stationDir).isDir())
        return fail(QStringLiteral("the station directory '%1' does not exist").arg(cl.stationDir));
    cl.screenshot = p.value(o.screenshot);
    if (p.isSet(o.screenshotAfter)) {
        bool ok = false;
        cl.screenshotAfter = p.value(o.screenshotAfter).toInt(&ok);
        if (!ok || cl.screenshotAfter < 0)
            return fail(QStringLiteral("--screenshot-after needs a number of milliseconds, not '%1'")
                            .arg(p.value(o.screenshotAfter)));
        if (!p.isSet(o.screenshot))
            return fail(QStringLiteral("--screenshot-after goes with --screenshot"));
    }
    if (p.isSet(o.screenshot) && cl.screenshot.isEmpty())
        return fail(QStringLiteral("--screenshot needs a file name"));
    cl.recordDemo = p.value(o.recordDemo);
    if (p.isSet(o.recordDemo) && (cl.recordDemo.isEmpty() || p.isSet(o.screenshot)))
        return fail(QStringLiteral("--record-demo needs a directory and goes without --screenshot"));

    const QStringList positional = p.positionalArguments();
    const bool create = p.isSet(o.createDatabase);
    const bool init = p.isSet(o.initStation);
    const bool registration = cl.automation.registration != AutomationSwitches::Registration::None;
    const bool exporting = p.isSet(o.exportProtocol) || p.isSet(o.exportProtocolId);
    if (int(create) + int(init) + int(registration) + int(exporting) > 1 ||
        (p.isSet(o.exportProtocol) && p.isSet(o.exportProtocolId)))
        return fail(QStringLiteral("--create-database, --init-station, --export-protocol(-id) and the "
                                   "registration switches each run alone"));
    if (positional.size() > (create || exporting ? 1 : 0))
        return fail(QStringLiteral("unexpected argument '%1'").arg(positional.last()));
    if (exporting) {
        cl.mode = CommandLine::Mode::ExportProtocol;
        cl.exportById = p.isSet(o.exportProtocolId);
        const QString number = p.value(cl.exportById ? o.exportProtocolId : o.exportProtocol);
        bool ok = false;
        cl.exportTest = number.toInt(&ok);
        if (!ok)
            return fail(QStringLiteral("%1 needs a whole number, not '%2'")
                            .arg(cl.exportById ? QStringLiteral("--export-protocol-id")
                                               : QStringLiteral("--export-protocol"),
                                 number));
        cl.exportFile = positional.value(0);
        if (cl.exportFile.isEmpty())
            return fail(QStringLiteral("--export-protocol needs the PDF file to write"));
        if (!cl.screenshot.isEmpty() || !cl.recordDemo.isEmpty())
            return fail(QStringLiteral("--export-protocol runs without a window"));
    } else if (create) {
        cl.mode = CommandLine::Mode::CreateDatabase;
        cl.databasePath = positional.value(0);
    } else if (init) {
        cl.mode = CommandLine::Mode::InitStation;
        cl.initDir = p.value(o.initStation);
        if (cl.initDir.isEmpty())
            return fail(QStringLiteral("--init-station needs a directory"));
    } else if (registration) {
        cl.mode = CommandLine::Mode::Registration;
    }
    return cl;
}
