#pragma once

#include <QDialog>

class QDateEdit;
class QFrame;
class QLabel;
class QPushButton;

// The date-range dialog of the test list: two dates with drop-down calendars, "OK" and
// "Отмена". fOk tells whether the operator closed it with "OK"; Esc and the close box leave
// it false.
class TfrFilter : public QDialog {
    Q_OBJECT
public:
    explicit TfrFilter(QWidget* parent = nullptr);

    bool fOk = false;

    QFrame* frame;
    QLabel* lbBegin;
    QLabel* lbEnd;
    QDateEdit* edDTBegin;
    QDateEdit* edDTEnd;
    QPushButton* BitBtn1; // "OK"
    QPushButton* BitBtn2; // "Отмена"

    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* e) override;
};
