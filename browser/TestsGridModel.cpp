#include "TestsGridModel.h"

#include "LocaleText.h"
#include "TestsModel.h"

#include <QColor>
#include <QDateTime>

const std::array<TestsGridModel::Column, TestsGridModel::ColumnCount>& TestsGridModel::gridColumns() {
    // Columns without a width of their own take the grid's default of 64.
    static const std::array<Column, ColumnCount> c = {{
        {"OrderNumber", "Номер испытания", 74},
        {"CarNumber", "Номер ТС", 86},
        {"VIN", "VIN ТС", 64},
        {"TestDTBegin", "Дата/время начала испытания", 138},
        {"TestDTEnd", "Дата/время окончания испытания", 144},
        {"AxleCount", "Число осей", 64},
        {"StCarType", "Тип ТС", 64},
    }};
    return c;
}

TestsGridModel::TestsGridModel(TestsModel& tests, QObject* parent)
    : QAbstractProxyModel(parent), tests_(tests) {
    sourceColumns_.fill(-1);
    setSourceModel(&tests);
    mapColumns();
    connect(&tests, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&tests, &QAbstractItemModel::modelReset, this, [this] {
        mapColumns();
        markedRow_ = -1;
        endResetModel();
    });
    connect(&tests, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                for (int c = 0; c < ColumnCount; ++c)
                    if (sourceColumns_[c] >= from.column() && sourceColumns_[c] <= to.column())
                        emit dataChanged(index(from.row(), c), index(to.row(), c), roles);
            });
}

void TestsGridModel::markCurrent() {
    const int old = markedRow_;
    markedRow_ = tests_.currentRow();
    if (old == markedRow_)
        return;
    if (old >= 0 && old < rowCount())
        emit headerDataChanged(Qt::Vertical, old, old);
    if (markedRow_ >= 0)
        emit headerDataChanged(Qt::Vertical, markedRow_, markedRow_);
}

void TestsGridModel::mapColumns() {
    for (int c = 0; c < ColumnCount; ++c)
        sourceColumns_[c] = tests_.fieldIndex(QString::fromLatin1(gridColumns()[c].field));
}

QString TestsGridModel::field(int column) {
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(gridColumns()[column].field) : QString();
}

int TestsGridModel::gridColumn(const QString& name) {
    for (int c = 0; c < ColumnCount; ++c)
        if (name.compare(QLatin1String(gridColumns()[c].field), Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

bool TestsGridModel::isEditable(int column) {
    return TestsModel::maxLength(field(column)) > 0;
}

QModelIndex TestsGridModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex TestsGridModel::parent(const QModelIndex&) const {
    return {};
}

int TestsGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : tests_.rowCount();
}

int TestsGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QModelIndex TestsGridModel::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    const int c = sourceColumns_[proxyIndex.column()];
    return c < 0 ? QModelIndex() : tests_.index(proxyIndex.row(), c);
}

QModelIndex TestsGridModel::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid())
        return {};
    for (int c = 0; c < ColumnCount; ++c)
        if (sourceColumns_[c] == sourceIndex.column())
            return index(sourceIndex.row(), c);
    return {};
}

QVariant TestsGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::ForegroundRole)
        return isEditable(index.column()) ? QVariant() : QVariant(QColor(Qt::gray));
    const QVariant v = QAbstractProxyModel::data(index, role);
    if (role == Qt::DisplayRole && v.metaType() == QMetaType::fromType<QDateTime>())
        return LocaleText::systemDateTime(v.toDateTime(), locale);
    return v;
}

QVariant TestsGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < ColumnCount ? QString::fromUtf8(gridColumns()[section].title)
                                                     : QVariant();
    return section == markedRow_ ? QStringLiteral("▶") : QString();
}
