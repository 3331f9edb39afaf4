#pragma once

#include <QAbstractProxyModel>
#include <QLocale>

#include <array>

class TestsModel;

// The test list as the grid shows it: seven of the list's columns in the grid's order, with
// their titles, date-times in the system's format, the read-only columns in grey and the
// current test marked in the row indicator.
class TestsGridModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    struct Column {
        const char* field;
        const char* title;
        int width; // design width: the columns share the grid's width in these proportions
    };
    static constexpr int ColumnCount = 7;
    static const std::array<Column, ColumnCount>& gridColumns();

    explicit TestsGridModel(TestsModel& tests, QObject* parent = nullptr);

    QLocale locale = QLocale::system();

    TestsModel& tests() const { return tests_; }
    // The list's field shown in a grid column.
    static QString field(int column);
    // The grid column of a list field, or -1.
    static int gridColumn(const QString& field);
    static bool isEditable(int column);
    // Moves the row indicator to the list's current test (after a reopen or a move).
    void markCurrent();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void mapColumns();

    TestsModel& tests_;
    std::array<int, ColumnCount> sourceColumns_{};
    int markedRow_ = -1;
};
