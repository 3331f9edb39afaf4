#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTableView>

#include <array>

class TestsGridModel;
class TestsModel;

// The grid of the test list. Its current row and the list's current test follow each other;
// the columns always share the grid's width in their design proportions, so there is never a
// horizontal scroll bar; the registration number and VIN are edited in place.
class TestsGrid : public QTableView {
    Q_OBJECT
public:
    explicit TestsGrid(TestsModel& tests, QWidget* parent = nullptr);

    TestsGridModel* gridModel() const { return model_; }

    // Makes the list's current test the grid's current row, in the same column as before.
    void followList();

    // Writes a cell edit still under way back to its test and closes the editor, so that a
    // refresh of the list never drops what the operator typed.
    void commitEdit();
    // True when a key typed into w goes into a cell: w is the open cell editor (or inside it),
    // or w is this grid and its current cell is editable, so that the key opens the editor.
    bool takesTyping(const QWidget* w) const;

    // Type-ahead in the current column: the typed text (kept while keys follow each other
    // quickly) finds the first row from the current one whose cell starts with it.
    void keyboardSearch(const QString& search) override;
    void endIncrementalSearch();

    // The widths of the seven columns sharing `total` pixels in their design proportions.
    static std::array<int, 7> columnWidths(int total);

signals:
    // The list refused to write an edited cell back (the database would not take it).
    void editRefused();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void fitColumns();

    TestsModel& tests_;
    TestsGridModel* model_;
    friend class TestsGridDelegate;
    QPointer<QWidget> editor_;
    int column_ = 0;
    QString typed_;
    QElapsedTimer typing_;
};
