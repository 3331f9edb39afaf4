#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

// The data module: owns the connection to the test database and every statement on it.
class TdmMain : public QObject {
    Q_OBJECT
public:
    explicit TdmMain(QObject* parent = nullptr);
    ~TdmMain() override;

    // Opens the database file. Never creates it: a missing file is a failed connection.
    bool DatabaseConnect(const QString& FileName);
    bool isConnected() const;

    QSqlDatabase database() const;

private:
    QString connectionName_;
};
