#pragma once

#include <QDialog>
#include <QTimer>

class QAction;
class QFrame;
class QLabel;

// The about box. Shown at start-up it closes itself after three seconds and ignores the
// operator; shown by F1 it stays until a click or Esc.
class TfrAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrAbout(QWidget* parent = nullptr);

    bool fAutoClose = false;
    QTimer tmAutoClose;
    QAction* acAboutClose;

    QFrame* frame;
    QLabel* image;
    QLabel* lbTitle;
    QLabel* lbSubtitle;

    void acAboutCloseExecute();
    void tmAutoCloseTimer();

    static QPixmap drawLogo();

    // Showing places the box in the middle of the screen the main window is on.
    void setVisible(bool visible) override;

public slots:
    void reject() override; // Esc and the window system's close request

protected:
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;
    bool eventFilter(QObject*, QEvent*) override;

private:
    bool closingByTimer_ = false;
};
