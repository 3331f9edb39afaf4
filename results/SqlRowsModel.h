#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <vector>

class QSqlQuery;

// A result set held in memory: named columns and the rows an executed query returned. The
// statement is finished once the rows are read, so an open list never holds a read lock on
// the database file. Columns are named by the caller, not by the engine, so the names stay
// the same on engines that fold unquoted names to lower case.
class SqlRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using Row = QVector<QVariant>;

    explicit SqlRowsModel(QObject* parent = nullptr);

    // Replaces the rows with those of an executed query whose columns are, in order, the
    // given names. Date-time columns arrive as text from some engines; they are turned into
    // local date-times here (a null or unreadable value becomes a null date-time).
    void load(QSqlQuery& query, const QStringList& columns, const QStringList& dateColumns = {});
    // Empties the result set (a closed query).
    virtual void clear();

    const QStringList& columns() const { return columns_; }
    // Column number of a field, case-insensitive, or -1.
    int fieldIndex(const QString& name) const;
    // The value of a field in a row; an invalid QVariant for a row or field that is not there.
    QVariant value(int row, const QString& name) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    // Names of the calculated columns a subclass appends to every row, and their values,
    // worked out for every row read (columns: all of them, calculated ones included).
    virtual QStringList calcColumns() const;
    virtual void calcFields(Row& row, const QStringList& columns);

    // A stored value as the model hands it out: date-time columns turned into date-times.
    QVariant cell(int row, int column) const;

    QStringList columns_;
    // Date-time columns are kept as the engine returned them and turned into local date-times
    // when read: the conversion asks the system's time zone each time, which for a year of
    // tests costs more than reading them, while a view reads only the rows it shows.
    std::vector<Row> rows_;
    QList<int> dateColumns_;
};
