#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// An INI file read the way the station's settings and register profiles have always been
// read: section and key names without regard to letter case, blanks around names and
// values trimmed, lines starting with ';' ignored, the first occurrence of a section and of
// a key within it winning, and a value in matching quotes losing them.
class IniFile {
public:
    IniFile() = default;

    // Reads the file; a missing or unreadable file gives an empty profile (every read
    // then returns its default). Returns whether the file could be read.
    bool load(const QString& path);
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
    struct Entry {
        QString key; // folded
        QString value;
    };
    struct Section {
        QString name; // folded
        std::vector<Entry> entries;
    };
    const Section* findSection(const QString& section) const;

    std::vector<Section> sections_;
    bool loaded_ = false;
};
