#include "SqlRowsModel.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>

SqlRowsModel::SqlRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

static QVariant dateTimeValue(const QVariant& v) {
    if (v.isNull())
        return QVariant(QMetaType::fromType<QDateTime>());
    if (v.metaType() == QMetaType::fromType<QDateTime>())
        return v;
    const QDateTime dt = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return dt.isValid() ? QVariant(dt) : QVariant(QMetaType::fromType<QDateTime>());
}

void SqlRowsModel::load(QSqlQuery& query, const QStringList& columns, const QStringList& dateColumns) {
    QList<int> dates;
    for (const QString& c : dateColumns)
        dates << columns.indexOf(c);
    std::vector<Row> rows;
    const int n = static_cast<int>(columns.size());
    const QStringList all = columns + calcColumns();
    while (query.next()) {
        Row row(all.size());
        for (int i = 0; i < n; ++i)
            row[i] = query.value(i);
        calcFields(row, all);
        rows.push_back(std::move(row));
    }
    query.finish();

    beginResetModel();
    columns_ = all;
    rows_ = std::move(rows);
    dateColumns_ = dates;
    endResetModel();
}

void SqlRowsModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

QStringList SqlRowsModel::calcColumns() const {
    return {};
}

void SqlRowsModel::calcFields(Row&, const QStringList&) {}

QVariant SqlRowsModel::cell(int row, int column) const {
    const QVariant& v = rows_[row][column];
    return dateColumns_.contains(column) ? dateTimeValue(v) : v;
}

int SqlRowsModel::fieldIndex(const QString& name) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant SqlRowsModel::value(int row, const QString& name) const {
    const int c = fieldIndex(name);
    if (row < 0 || row >= rowCount() || c < 0 || c >= rows_[row].size())
        return {};
    return cell(row, c);
}

int SqlRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SqlRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant SqlRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= rows_[index.row()].size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    return cell(index.row(), index.column());
}

QVariant SqlRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 && section < columns_.size())
        return columns_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}
