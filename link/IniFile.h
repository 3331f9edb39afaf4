#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

// An INI file read the way the station's settings and register profiles have always been
// read: section and key names without regard to letter case, blanks around names and
// values trimmed, lines starting with ';' ignored, the first occurrence of a section and of
// a key within it winning, and a value in matching quotes losing them.
//
// The text is read once and indexed by section and key, so reading a file takes time in
// proportion to its size however many keys a section holds, and every lookup after that is
// one probe; the index points into the text rather than copying names and values.
class IniFile {
public:
    IniFile() = default;

    // Reads the file; a missing or unreadable file, or anything but a regular file (a FIFO
    // or a device is never waited on), gives an empty profile (every read then returns its
    // default). Returns whether the file could be read; error says why not.
    bool load(const QString& path, QString* error = nullptr);
    void parse(const QString& text);

    bool exists() const { return loaded_; }

    std::optional<QString> value(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal with the prefix 0x or $; anything else gives the default.
    qint32 readInteger(const QString& section, const QString& key, qint32 def) const;
    // An integer: 0 is false, any other number true; text that is no number gives the default.
    bool readBool(const QString& section, const QString& key, bool def) const;

    // Parses one integer value as readInteger does.
    static std::optional<qint32> parseInteger(const QString& text);

private:
    // A stretch of text_, already trimmed.
    struct Span {
        uint32_t pos = 0;
        uint32_t size = 0;
    };
    struct Key {
        uint32_t section = 0;
        Span name;
        Span value;
    };

    QStringView view(Span s) const { return QStringView(text_).mid(s.pos, s.size); }
    Span span(QStringView part) const;
    static uint32_t foldedHash(QStringView name);
    static bool sameFolded(QStringView a, QStringView b);
    static uint32_t keyHash(uint32_t section, uint32_t nameHash);

    // Index of the section or key, or -1.
    int64_t findSection(QStringView name, uint32_t hash) const;
    int64_t findKey(uint32_t section, QStringView name, uint32_t hash) const;

    QString text_;
    std::vector<Span> sections_; // their names
    std::vector<Key> keys_;
    // Hash tables over the two lists (see IniFile.cpp).
    std::vector<uint64_t> sectionSlots_;
    std::vector<uint64_t> keySlots_;
    bool loaded_ = false;
};
