#include "Outbox.h"

#include "RegularFile.h"
#include "TestAssembly.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const QByteArray Magic = "mirvane outbox 1";
const QString Suffix = QStringLiteral(".test");
const QString LastStored = QStringLiteral("stored.last");

QByteArray words(const uint16_t* w, size_t n) {
    QByteArray out;
    for (size_t i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += QByteArray::number(w[i]);
    }
    return out;
}

// n numbers 0..65535 separated by single blanks, nothing else.
bool readWords(const QByteArray& text, uint16_t* w, size_t n) {
    const QList<QByteArray> parts = text.split(' ');
    if (size_t(parts.size()) != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        bool ok = false;
        const uint v = parts[qsizetype(i)].toUInt(&ok);
        if (!ok || v > 65535 || parts[qsizetype(i)] != QByteArray::number(v))
            return false;
        w[i] = uint16_t(v);
    }
    return true;
}

quint64 sequenceOf(const QString& name) {
    qsizetype i = 0;
    while (i < name.size() && name[i].isDigit())
        ++i;
    return name.left(i).toULongLong();
}

} // namespace

int32_t OutboxEntry::orderNumber() const {
    return TestAssembly::joinWords(header[8], header[9]);
}

TestRecord OutboxEntry::record() const {
    TestAssembly::Header h{};
    std::copy(header.begin(), header.end(), h.begin() + 1);
    TestAssembly::AxleRows rows;
    for (auto& r : rows)
        r.fill(TestAssembly::NoValue);
    const int n = int(std::min<size_t>(axles.size(), 9));
    for (int a = 1; a <= n; ++a)
        std::copy(axles[size_t(a - 1)].begin(), axles[size_t(a - 1)].end(), rows[a].begin() + 1);
    return TestAssembly::assemble(h, rows, n, TestAssembly::testTime(h, fPCDateTime, taken), KalvexType,
                                  KalvexSerial);
}

bool OutboxEntry::sameTest(const OutboxEntry& o) const {
    return header == o.header && axles == o.axles && fPCDateTime == o.fPCDateTime &&
           KalvexType == o.KalvexType && KalvexSerial == o.KalvexSerial;
}

Outbox::Outbox(QString dir) : dir_(std::move(dir)) {}

QByteArray Outbox::encode(const OutboxEntry& e) {
    QByteArray out = Magic + '\n';
    out += "taken " + QByteArray::number(e.taken.toMSecsSinceEpoch()) + '\n';
    out += "pc-date-time " + QByteArray(e.fPCDateTime ? "1" : "0") + '\n';
    out += "kalvex-type " + e.KalvexType.toUtf8().toPercentEncoding() + '\n';
    out += "kalvex-serial " + e.KalvexSerial.toUtf8().toPercentEncoding() + '\n';
    out += "header " + words(e.header.data(), e.header.size()) + '\n';
    for (size_t a = 0; a < e.axles.size(); ++a)
        out += "axle " + QByteArray::number(qulonglong(a + 1)) + ' ' + words(e.axles[a].data(), 32) + '\n';
    out += "sha1 " + QCryptographicHash::hash(out, QCryptographicHash::Sha1).toHex() + '\n';
    return out;
}

std::optional<OutboxEntry> Outbox::decode(const QByteArray& bytes, QString* why) {
    auto refuse = [why](const QString& text) -> std::optional<OutboxEntry> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const qsizetype sumAt = bytes.lastIndexOf("sha1 ");
    if (sumAt < 0 || !bytes.endsWith('\n'))
        return refuse(QStringLiteral("no checksum line"));
    const QByteArray body = bytes.left(sumAt);
    if (bytes.mid(sumAt + 5).trimmed() != QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex())
        return refuse(QStringLiteral("the checksum does not match the contents"));
    QList<QByteArray> lines = body.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    auto value = [&](int i, const char* key) -> std::optional<QByteArray> {
        const QByteArray k = QByteArray(key) + ' ';
        if (i >= lines.size() || !lines[i].startsWith(k))
            return std::nullopt;
        return lines[i].mid(k.size());
    };
    if (lines.size() < 6 || lines[0] != Magic)
        return refuse(QStringLiteral("not an outbox file of this station"));
    OutboxEntry e;
    bool ok = false;
    const auto taken = value(1, "taken");
    const qint64 ms = taken ? taken->toLongLong(&ok) : 0;
    if (!ok)
        return refuse(QStringLiteral("no time of the hand-over"));
    e.taken = QDateTime::fromMSecsSinceEpoch(ms);
    const auto pc = value(2, "pc-date-time");
    if (!pc || (*pc != "0" && *pc != "1"))
        return refuse(QStringLiteral("no PCDateTime setting"));
    e.fPCDateTime = *pc == "1";
    const auto type = value(3, "kalvex-type"), serial = value(4, "kalvex-serial");
    if (!type || !serial)
        return refuse(QStringLiteral("no stand type or serial number"));
    e.KalvexType = QString::fromUtf8(QByteArray::fromPercentEncoding(*type));
    e.KalvexSerial = QString::fromUtf8(QByteArray::fromPercentEncoding(*serial));
    const auto header = value(5, "header");
    if (!header || !readWords(*header, e.header.data(), e.header.size()))
        return refuse(QStringLiteral("the result header is not 25 words"));
    for (int i = 6; i < lines.size(); ++i) {
        const auto axle = value(i, "axle");
        const QByteArray number = QByteArray::number(i - 5) + ' ';
        std::array<uint16_t, 32> w{};
        if (!axle || !axle->startsWith(number) || !readWords(axle->mid(number.size()), w.data(), 32) || i - 5 > 9)
            return refuse(QStringLiteral("axle %1 is not 32 words").arg(i - 5));
        e.axles.push_back(w);
    }
    return e;
}

bool Outbox::makeDir(QString* why) {
    if (QFileInfo(dir_).isDir())
        return true;
    if (!QDir().mkpath(dir_)) {
        if (why)
            *why = QStringLiteral("%1: cannot create the directory").arg(dir_);
        return false;
    }
    // The new directory itself lasts only once its parent is on disk.
    RegularFile::syncDirectory(QFileInfo(dir_).absolutePath());
    return true;
}

QStringList Outbox::waitingFiles() const {
    // Whatever was planted at a test's name too (a FIFO, a device), so that it is put aside.
    QStringList names =
        QDir(dir_).entryList({QStringLiteral("*") + Suffix}, QDir::Files | QDir::System, QDir::Name);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& n) { return n.isEmpty() || !n[0].isDigit(); }),
                names.end());
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return sequenceOf(a) < sequenceOf(b); });
    return names;
}

QString Outbox::put(const OutboxEntry& entry, QString* why) {
    if (!makeDir(why))
        return QString();
    if (next_ == 0) {
        // Past every number in use, those of files put aside included.
        next_ = 1;
        for (const QString& name : QDir(dir_).entryList(QDir::Files | QDir::System | QDir::Hidden))
            if (!name.isEmpty() && name[0].isDigit())
                next_ = std::max(next_, sequenceOf(name) + 1);
    }
    const QString path = QDir(dir_).filePath(
        QStringLiteral("%1-%2").arg(next_, 10, 10, QLatin1Char('0')).arg(entry.orderNumber()) + Suffix);
    if (!RegularFile::writeAtomically(path, encode(entry), why))
        return QString();
    ++next_;
    return path;
}

std::vector<Outbox::Waiting> Outbox::load(QStringList* problems) {
    std::vector<Waiting> out;
    for (const QString& name : waitingFiles()) {
        const QString path = QDir(dir_).filePath(name);
        QString why;
        std::optional<OutboxEntry> e;
        if (const std::optional<QByteArray> bytes = RegularFile::read(path, &why))
            e = decode(*bytes, &why);
        if (e) {
            out.push_back({path, *e});
            continue;
        }
        const QString aside = path + QStringLiteral(".damaged");
        const bool moved = ::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0;
        if (problems)
            *problems << QStringLiteral("%1: %2; %3").arg(path, why,
                                                          moved ? QStringLiteral("kept as %1").arg(aside)
                                                                : QStringLiteral("left where it is"));
    }
    return out;
}

std::optional<OutboxEntry> Outbox::newest() const {
    const QStringList names = waitingFiles();
    const QString path = QDir(dir_).filePath(names.isEmpty() ? LastStored : names.last());
    const std::optional<QByteArray> bytes = RegularFile::read(path);
    return bytes ? decode(*bytes, nullptr) : std::nullopt;
}

bool Outbox::retire(const QString& file, QString* why) {
    const QString last = QDir(dir_).filePath(LastStored);
    if (::rename(QFile::encodeName(file).constData(), QFile::encodeName(last).constData()) == 0)
        return true;
    if (why)
        *why = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}
