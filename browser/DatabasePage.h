#pragma once

#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class Dialogs;
class QAction;
class QFrame;
class QGroupBox;
class QPrinter;
class QScrollArea;
class QToolButton;
class RecordView;
class TdmMain;
class TestsGrid;
class TfrFilter;

// The database page: the test list of a range of days on the left with its four buttons, the
// selected test as a protocol on the right. It works on the data module's list; the window
// that holds it keeps the date range and hands it in.
class DatabasePage : public QWidget {
    Q_OBJECT
public:
    DatabasePage(TdmMain& dm, Dialogs& dialogs, QWidget* parent = nullptr);
    ~DatabasePage() override;

    static constexpr int InfoWidth = 462;
    static constexpr int ButtonStripHeight = 42;

    QFrame* pnTables;
    QGroupBox* gbTests;
    TestsGrid* grTests;
    QFrame* pnDBButton;
    // "F3 - Период данных", "F7 - Поиск в базе", "F8 - Удалить испытание", "F9 - Распечатать протокол"
    std::array<QToolButton*, 4> buttons;
    QFrame* pnInfo;
    QGroupBox* GroupBox1;
    QScrollArea* sbInfo;
    RecordView* info;
    TfrFilter* frFilter;

    // Where a protocol is printed; the one place that picks the printer.
    std::function<std::unique_ptr<QPrinter>(QString* error)> protocolPrinter;

    // Each button runs its action: filter, find, delete, print.
    void setActions(const std::array<QAction*, 4>& actions);

    // The page came to the front: the grid takes the focus and the list is refreshed.
    void TabSheet2Show(const QDateTime& begin, const QDateTime& end);
    // Reopens the list for the range; the current test stays current when it is still listed.
    void refresh(const QDateTime& begin, const QDateTime& end);
    // The list's caption for an applied range.
    void setRangeCaption(const QDateTime& begin, const QDateTime& end);

    // The date-range dialog: on "OK" the range takes its dates, the list is refreshed and the
    // caption set; true then. Otherwise nothing changes.
    bool chooseRange(QDateTime& begin, QDateTime& end);
    // The grid's find dialog, created for this one search.
    void findTest();
    // Asks, then marks the current test deleted and refreshes the list.
    void deleteTest(const QDateTime& begin, const QDateTime& end);
    // Prints the protocol of the current test (the labels of `window` tagged for printing) and
    // confirms it; with an empty list nothing happens.
    void printTest(QWidget& window);

    // The list's current test changed or the list was reopened: the grid follows it and the
    // record view shows it (hidden when the list is empty).
    void ShowInfo();

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    // A read for the page ended; a failure is told once, until a read succeeds again.
    void readDone(bool ok, const QString& why);

    TdmMain& dm_;
    Dialogs& dialogs_;
    bool readFailing_ = false;
};
