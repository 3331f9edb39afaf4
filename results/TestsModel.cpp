#include "TestsModel.h"

#include <algorithm>

TestsModel::TestsModel(QObject* parent) : SqlRowsModel(parent) {}

QString TestsModel::StCarType(qint64 CarType) {
    return CarType == 0 ? QStringLiteral("легковой") : QStringLiteral("грузовой");
}

int TestsModel::maxLength(const QString& column) {
    if (column.compare(QLatin1String("CarNumber"), Qt::CaseInsensitive) == 0)
        return 10;
    if (column.compare(QLatin1String("VIN"), Qt::CaseInsensitive) == 0)
        return 17;
    return 0;
}

QStringList TestsModel::calcColumns() const {
    return {QStringLiteral("StCarType")};
}

void TestsModel::calcFields(Row& row, const QStringList& columns) {
    const int carType = static_cast<int>(columns.indexOf(QLatin1String("CarType")));
    row.back() = StCarType(carType >= 0 ? row[carType].toLongLong() : 0);
}

void TestsModel::reopen(QSqlQuery& query, const QStringList& columns, const QStringList& dateColumns) {
    const int keep = currentId();
    load(query, columns, dateColumns);
    const int row = rowOfId(keep);
    currentRow_ = row >= 0 ? row : (rowCount() > 0 ? 0 : -1);
}

void TestsModel::clear() {
    SqlRowsModel::clear();
    currentRow_ = -1;
}

int TestsModel::currentId() const {
    return currentRow_ >= 0 ? value(currentRow_, QStringLiteral("id")).toInt() : 0;
}

void TestsModel::setCurrentRow(int row) {
    row = rowCount() == 0 ? -1 : std::clamp(row, 0, rowCount() - 1);
    if (row == currentRow_)
        return;
    currentRow_ = row;
    emit currentChanged();
}

int TestsModel::rowOfId(int id) const {
    const int c = fieldIndex(QStringLiteral("id"));
    if (c < 0)
        return -1;
    for (int r = 0; r < rowCount(); ++r)
        if (rows_[r][c].toInt() == id)
            return r;
    return -1;
}

Qt::ItemFlags TestsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = SqlRowsModel::flags(index);
    if (index.isValid() && maxLength(columns_.value(index.column())) > 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TestsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount())
        return false;
    const QString column = columns_.value(index.column());
    const int width = maxLength(column);
    if (width == 0 || !writeBack_)
        return false;
    const QString text = value.toString().left(width);
    QVariant& cell = rows_[index.row()][index.column()];
    if (!cell.isNull() && cell.toString() == text)
        return true;
    const int id = rows_[index.row()][fieldIndex(QStringLiteral("id"))].toInt();
    if (!writeBack_(id, column, text))
        return false;
    cell = text;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool TestsModel::insertRows(int, int, const QModelIndex&) {
    return false;
}
