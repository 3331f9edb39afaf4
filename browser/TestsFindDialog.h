#pragma once

#include <QDialog>
#include <QString>

class Dialogs;
class QAbstractItemModel;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

// The grid's find dialog: each "Найти далее" makes the next row whose cell in the chosen
// column matches the pattern the grid's current row.
class TestsFindDialog : public QDialog {
    Q_OBJECT
public:
    enum class Match { AnyPart, Whole, Start };
    enum class Direction { Up, Down, All };
    struct Options {
        QString pattern;
        int column = 0;
        Match match = Match::AnyPart;
        Direction direction = Direction::All;
        bool caseSensitive = false;
        // Compare the text as the grid shows it (date-times in the regional format) rather
        // than the stored value's plain text.
        bool useFormat = false;
    };

    // Owned by the grid; messages (nothing found) go through dialogs.
    TestsFindDialog(QTableView& grid, Dialogs& dialogs);

    // The row after (or, upwards, before) `from` whose cell matches, or -1. "Все" searches
    // the whole list once, wrapping round past its end back to `from` itself.
    static int findRow(const QAbstractItemModel& model, int from, const Options& options);

    Options options() const;

    QLineEdit* edPattern;
    QComboBox* cbColumn;
    QComboBox* cbMatch;
    QRadioButton* rbUp;
    QRadioButton* rbDown;
    QRadioButton* rbAll;
    QCheckBox* cbCase;
    QCheckBox* cbFormat;
    QPushButton* btFindNext;
    QPushButton* btClose;

    // "Найти далее": true when a row was found and made current.
    bool findNext();

private:
    QTableView& grid_;
    Dialogs& dialogs_;
};
