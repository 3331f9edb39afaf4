#include "IniFile.h"

#include "AnsiText.h"
#include "RegularFile.h"

#include <limits>
#include <new>

namespace {

bool isAscii(QStringView s) {
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

uint32_t mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// Open addressing: a slot holds an entry's hash (high half) and its number + 1 (low half), or
// 0 when free, so a probe rarely has to look at the entry itself. The table is kept at most
// half full.
void place(std::vector<uint64_t>& table, uint64_t slot) {
    const size_t mask = table.size() - 1;
    size_t at = (slot >> 32) & mask;
    while (table[at])
        at = (at + 1) & mask;
    table[at] = slot;
}

void insert(std::vector<uint64_t>& table, size_t entries, uint32_t hash, size_t index) {
    if (entries * 2 > table.size()) {
        std::vector<uint64_t> old(std::max<size_t>(16, table.size() * 2), 0);
        old.swap(table);
        for (uint64_t slot : old)
            if (slot)
                place(table, slot);
    }
    place(table, uint64_t(hash) << 32 | uint64_t(index + 1));
}

// The entry of that hash for which same(entry) holds, or -1.
template <typename Same> int64_t lookup(const std::vector<uint64_t>& table, uint32_t hash, Same same) {
    if (table.empty())
        return -1;
    const size_t mask = table.size() - 1;
    for (size_t at = hash & mask; table[at]; at = (at + 1) & mask)
        if (uint32_t(table[at] >> 32) == hash && same(uint32_t(table[at]) - 1))
            return int64_t(uint32_t(table[at]) - 1);
    return -1;
}

} // namespace

bool IniFile::load(const QString& path, QString* error) {
    parse(QString());
    loaded_ = false;
    try {
        std::optional<QByteArray> bytes = RegularFile::read(path, error);
        if (!bytes)
            return false;
        const QString text = AnsiText::decodeFile(*bytes, AnsiText::Fallback::Utf8ThenAnsi);
        bytes.reset();
        parse(text);
    } catch (const std::bad_alloc&) {
        // Whatever the file holds, start-up goes on with the defaults.
        parse(QString());
        if (error)
            *error = QStringLiteral("%1: too large to read").arg(path);
        return false;
    }
    loaded_ = true;
    return true;
}

IniFile::Span IniFile::span(QStringView part) const {
    return Span{static_cast<uint32_t>(part.data() - text_.constData()), static_cast<uint32_t>(part.size())};
}

uint32_t IniFile::foldedHash(QStringView name) {
    // FNV-1a over the folded name's code units, so that names alike but for letter case meet.
    uint32_t h = 2166136261u;
    auto add = [&h](char16_t c) {
        h = (h ^ (c & 0xFFu)) * 16777619u;
        h = (h ^ (c >> 8)) * 16777619u;
    };
    if (isAscii(name)) {
        for (QChar c : name)
            add(asciiLower(c.unicode()));
        return h;
    }
    for (QChar c : name.toString().toCaseFolded())
        add(c.unicode());
    return h;
}

bool IniFile::sameFolded(QStringView a, QStringView b) {
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (asciiLower(a[i].unicode()) != asciiLower(b[i].unicode()))
                return false;
        return true;
    }
    return a.toString().toCaseFolded() == b.toString().toCaseFolded();
}

uint32_t IniFile::keyHash(uint32_t section, uint32_t nameHash) {
    return mix(nameHash ^ mix(section + 0x9E3779B9u));
}

int64_t IniFile::findSection(QStringView name, uint32_t hash) const {
    return lookup(sectionSlots_, hash, [&](uint32_t i) { return sameFolded(view(sections_[i]), name); });
}

int64_t IniFile::findKey(uint32_t section, QStringView name, uint32_t hash) const {
    return lookup(keySlots_, hash, [&](uint32_t i) {
        return keys_[i].section == section && sameFolded(view(keys_[i].name), name);
    });
}

void IniFile::parse(const QString& text) {
    sections_.clear();
    keys_.clear();
    sectionSlots_.clear();
    keySlots_.clear();
    // Positions are kept in 32 bits: a text beyond that is not read at all.
    text_ = text.size() < std::numeric_limits<uint32_t>::max() ? text : QString();
    const QStringView all(text_);
    const QChar* chars = all.data();
    const qsizetype n = all.size();
    // About as many keys as lines: room for them at once, rather than growing the index step
    // by step through a large file.
    const size_t lines = static_cast<size_t>(all.count(QLatin1Char('\n'))) + 1;
    keys_.reserve(lines);
    size_t room = 16;
    while (room < lines * 2)
        room *= 2;
    keySlots_.assign(room, 0);
    int64_t current = -1; // the section keys go to; none before the first, or under a repeated one
    for (qsizetype pos = 0; pos < n;) {
        qsizetype end = pos;
        while (end < n && chars[end] != QLatin1Char('\n') && chars[end] != QLatin1Char('\r'))
            ++end;
        const QStringView line = all.mid(pos, end - pos).trimmed();
        pos = end + 1;
        if (line.isEmpty() || line.front() == QLatin1Char(';'))
            continue;
        if (line.front() == QLatin1Char('[')) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
            const uint32_t hash = foldedHash(name);
            // A repeated section adds nothing: lookups use its first occurrence only.
            current = -1;
            if (findSection(name, hash) < 0) {
                sections_.push_back(span(name));
                insert(sectionSlots_, sections_.size(), hash, sections_.size() - 1);
                current = static_cast<int64_t>(sections_.size()) - 1;
            }
            continue;
        }
        if (current < 0)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QStringView key = line.left(eq).trimmed();
        QStringView value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2) {
            const QChar q = value.front();
            if ((q == QLatin1Char('"') || q == QLatin1Char('\'')) && value.back() == q)
                value = value.mid(1, value.size() - 2);
        }
        const uint32_t section = static_cast<uint32_t>(current);
        const uint32_t hash = keyHash(section, foldedHash(key));
        if (findKey(section, key, hash) < 0) {
            keys_.push_back(Key{section, span(key), span(value)});
            insert(keySlots_, keys_.size(), hash, keys_.size() - 1);
        }
    }
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const QStringView s = QStringView(section).trimmed();
    const int64_t found = findSection(s, foldedHash(s));
    if (found < 0)
        return std::nullopt;
    const QStringView k = QStringView(key).trimmed();
    const uint32_t index = static_cast<uint32_t>(found);
    const int64_t entry = findKey(index, k, keyHash(index, foldedHash(k)));
    if (entry < 0)
        return std::nullopt;
    return view(keys_[entry].value).toString();
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
