#include "ProtocolFile.h"

#include "AnsiText.h"
#include "RegularFile.h"

#include <QLocale>

#include <cstdlib>

namespace ProtocolFile {

QString AlignRight(const QString& text, int width) {
    return text.size() >= width ? text : QString(width - text.size(), QLatin1Char(' ')) + text;
}

QString AlignLeft(const QString& text, int width) {
    return text.size() >= width ? text : text + QString(width - text.size(), QLatin1Char(' '));
}

QStringList titleLines(const QByteArray& bytes) {
    const QString text = AnsiText::decodeFile(bytes, AnsiText::Fallback::Ansi);
    QStringList out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        out << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        out << text.mid(start);
    return out;
}

int nameWidth(const QStringList& titles) {
    qsizetype w = 0;
    for (const QString& t : titles)
        w = std::max(w, t.size());
    return static_cast<int>(w);
}

std::optional<QStringList> readTitles(const QString& path, QString* why) {
    auto refuse = [why](const QString& text) -> std::optional<QStringList> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    // Only a regular file: a FIFO planted at the name would hold the hand-over until someone
    // writes into it.
    QString error;
    const std::optional<QByteArray> bytes = RegularFile::read(path, &error);
    if (!bytes)
        return refuse(error);
    const QStringList titles = titleLines(*bytes);
    if (titles.size() < 36)
        return refuse(QStringLiteral("%1 has %2 lines, 36 are needed").arg(path).arg(titles.size()));
    const int w = nameWidth(titles);
    if (w < 3 || w > 255)
        return refuse(
            QStringLiteral("%1: the longest line has %2 characters, 3 to 255 are allowed").arg(path).arg(w));
    return titles;
}

// The time separator of the system's short time format (":" where it has none to offer).
static QString timeSeparator() {
    const QString f = QLocale::system().timeFormat(QLocale::ShortFormat);
    qsizetype i = 0;
    while (i < f.size() && f[i] != QLatin1Char('h') && f[i] != QLatin1Char('H'))
        ++i;
    while (i < f.size() && (f[i] == QLatin1Char('h') || f[i] == QLatin1Char('H')))
        ++i;
    QString sep;
    while (i < f.size() && !f[i].isLetter() && f[i] != QLatin1Char('\''))
        sep += f[i++];
    return sep.isEmpty() ? QStringLiteral(":") : sep;
}

static QString cell(uint32_t value) {
    return AlignRight(QString::number(value), 6) + QLatin1Char(' ');
}

QStringList lines(const QStringList& titles, const TestAssembly::Header& h,
                  const TestAssembly::AxleRows& rows, const QDateTime& now) {
    using TestAssembly::NoValue;
    const int W = nameWidth(titles);
    const QString blank(7, QLatin1Char(' '));
    const QString sep = timeSeparator();
    QStringList out;

    out << QStringLiteral("   Протокол испытаний транспортного средства от ") +
               now.toString(QStringLiteral("dd.MM.yy")) + QLatin1Char(' ') +
               now.toString(QStringLiteral("hh")) + sep + now.toString(QStringLiteral("mm")) + sep +
               now.toString(QStringLiteral("ss"));

    QString raw;
    for (int k = 1; k <= 25; ++k)
        raw += QString::number(h[k]) + QStringLiteral(" | ");
    out << raw;

    QString header =
        QLatin1Char('|') + AlignLeft(AlignRight(QStringLiteral("ОСЬ"), (W - 3) / 2), W) + QLatin1Char('|');
    for (int i = 1; i <= 9; ++i)
        header += QStringLiteral("   %1   |").arg(i);
    const QString rule(W + 74, QLatin1Char('-'));
    out << rule << header << rule;

    for (int j = 1; j <= 32; ++j) {
        QString line = QLatin1Char('|') + AlignLeft(titles.value(j - 1), W) + QLatin1Char('|');
        for (int a = 1; a <= 9; ++a)
            line += (rows[a][j] == NoValue ? blank : cell(rows[a][j])) + QLatin1Char('|');
        out << line;
    }
    out << rule;

    // Worked out from the words as received, in 32 bits: nothing wraps here.
    for (int k = 1; k <= 4; ++k) {
        QString line = QLatin1Char('|') + AlignLeft(titles.value(31 + k), W) + QLatin1Char('|');
        for (int a = 1; a <= 9; ++a) {
            const auto& w = rows[a];
            if (w[1] == NoValue) {
                line += blank + QLatin1Char('|');
                continue;
            }
            const uint32_t weight = uint32_t(w[1]) + w[2];
            const uint32_t work = uint32_t(w[11]) + w[12];
            const uint32_t top = std::max(w[11], w[12]);
            uint32_t v = 0;
            switch (k) {
            case 1:
                v = weight;
                break;
            case 2: // cut, not rounded; exact in integers
                v = top == 0 ? 0 : uint32_t(std::abs(int32_t(w[11]) - int32_t(w[12]))) * 100 / top;
                break;
            case 3:
                v = work;
                break;
            case 4:
                v = weight == 0 ? 0 : uint32_t(uint64_t(work) * 100 / weight);
                break;
            }
            line += cell(v) + QLatin1Char('|');
        }
        out << line;
    }
    return out;
}

QString fileName(const QDateTime& now) {
    return now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) + QStringLiteral(".txt");
}

QByteArray encode(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& l : lines)
        bytes += AnsiText::encode(l) + "\r\n";
    return bytes;
}

bool save(const QString& path, const QStringList& lines, QString* error) {
    return RegularFile::writeAtomically(path, encode(lines), error);
}

} // namespace ProtocolFile
