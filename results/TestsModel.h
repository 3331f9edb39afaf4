#pragma once

#include "SqlRowsModel.h"

#include <functional>

// The test list: the Tests rows of a date range with the calculated StCarType, a current row
// that the data module follows, and two text columns the operator may edit (CarNumber, VIN),
// which are written back to their Tests row at once. Rows are never added through the list.
class TestsModel : public SqlRowsModel {
    Q_OBJECT
public:
    // Writes an edited text column of the test with this id; false when the engine refused.
    using WriteBack = std::function<bool(int id, const QString& column, const QString& text)>;

    explicit TestsModel(QObject* parent = nullptr);

    void setWriteBack(WriteBack writeBack) { writeBack_ = std::move(writeBack); }

    // "легковой" for CarType 0, "грузовой" for any other value.
    static QString StCarType(qint64 CarType);
    // The widest text each editable column holds; other columns are not editable.
    static int maxLength(const QString& column);

    // Reopens the list from an executed query; the current test stays current when it is
    // still listed, else the first row becomes current. Does not signal currentChanged: the
    // caller treats the reopening as one change.
    void reopen(QSqlQuery& query, const QStringList& columns, const QStringList& dateColumns);

    // A closed list has no current test.
    void clear() override;

    int currentRow() const { return currentRow_; }
    // The id of the current test; 0 when the list is empty.
    int currentId() const;
    // Makes a row current (clamped to the list); signals currentChanged when it moves.
    void setCurrentRow(int row);
    // Row of the test with this id, or -1.
    int rowOfId(int id) const;

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // The list refuses new rows: one inserted by a view would be cancelled at once anyway.
    bool insertRows(int row, int count, const QModelIndex& parent = {}) override;

signals:
    void currentChanged();

protected:
    QStringList calcColumns() const override;
    void calcFields(Row& row, const QStringList& columns) override;

private:
    WriteBack writeBack_;
    int currentRow_ = -1;
};
