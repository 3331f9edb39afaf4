#include "IniFile.h"

#include "AnsiText.h"

#include <QFile>

static QString fold(const QString& s) { return s.trimmed().toCaseFolded(); }

bool IniFile::load(const QString& path) {
    sections_.clear();
    loaded_ = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    parse(AnsiText::decodeFile(f.readAll(), AnsiText::Fallback::Utf8ThenAnsi));
    loaded_ = true;
    return true;
}

void IniFile::parse(const QString& text) {
    sections_.clear();
    Section* current = nullptr;
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = normalised.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = fold(close < 0 ? line.mid(1) : line.mid(1, close - 1));
            // A repeated section adds nothing: lookups use its first occurrence only.
            current = nullptr;
            if (!findSection(name)) {
                sections_.push_back(Section{name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = fold(line.left(eq));
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2) {
            const QChar q = value.front();
            if ((q == QLatin1Char('"') || q == QLatin1Char('\'')) && value.back() == q)
                value = value.mid(1, value.size() - 2);
        }
        bool seen = false;
        for (const Entry& e : current->entries)
            if (e.key == key) {
                seen = true;
                break;
            }
        if (!seen)
            current->entries.push_back(Entry{key, value});
    }
}

const IniFile::Section* IniFile::findSection(const QString& folded) const {
    for (const Section& s : sections_)
        if (s.name == folded)
            return &s;
    return nullptr;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const Section* s = findSection(fold(section));
    if (!s)
        return std::nullopt;
    const QString k = fold(key);
    for (const Entry& e : s->entries)
        if (e.key == k)
            return e.value;
    return std::nullopt;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    return value(section, key).value_or(def);
}

std::optional<qint32> IniFile::parseInteger(const QString& text) {
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool negative = false;
    if (t.front() == QLatin1Char('-') || t.front() == QLatin1Char('+')) {
        negative = t.front() == QLatin1Char('-');
        t = t.mid(1);
    }
    int base = 10;
    if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t = t.mid(1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t = t.mid(2);
    }
    if (t.isEmpty())
        return std::nullopt;
    quint64 magnitude = 0;
    for (QChar c : t) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                          : base == 16 && c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')
                              ? c.toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0 || digit >= base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 10) {
        // Decimal text must fit a signed 32-bit integer.
        if (negative ? magnitude > 0x80000000ull : magnitude > 0x7FFFFFFFull)
            return std::nullopt;
        const qint64 v = negative ? -static_cast<qint64>(magnitude) : static_cast<qint64>(magnitude);
        return static_cast<qint32>(v);
    }
    // Hexadecimal text may use all 32 bits: $FFFFFFFF is -1.
    const quint32 bits = static_cast<quint32>(magnitude);
    const quint32 value = negative ? 0u - bits : bits;
    return static_cast<qint32>(value);
}

qint32 IniFile::readInteger(const QString& section, const QString& key, qint32 def) const {
    const std::optional<QString> v = value(section, key);
    if (!v)
        return def;
    return parseInteger(*v).value_or(def);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}
