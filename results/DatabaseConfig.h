#pragma once

#include <QString>

#include <optional>

struct Settings;

// Where the test database is: the station's own SQLite file, or a PostgreSQL database that
// several stations share.
struct DatabaseConfig {
    enum class Engine { SQLite, PostgreSQL };

    Engine engine = Engine::SQLite;
    QString file; // SQLite
    QString host; // PostgreSQL: host name or socket directory
    int port = 5432;
    QString name;
    QString user;
    QString password;

    static DatabaseConfig sqlite(const QString& file);
    // The settings' choice; stationFile is the station's Mirvane.db. Nothing, with the reason
    // in error, for settings that cannot be used (an unknown driver, an unreadable password file).
    static std::optional<DatabaseConfig> fromSettings(const Settings& s, const QString& stationFile,
                                                      QString* error);

    // For messages: the file, or user@host:port/name.
    QString describe() const;
};
