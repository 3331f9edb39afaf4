#include "DatabasePage.h"

#include "BrowserFonts.h"
#include "BrowserPictures.h"
#include "Dialogs.h"
#include "LocaleText.h"
#include "PrintForm.h"
#include "RecordView.h"
#include "TdmMain.h"
#include "TestsFindDialog.h"
#include "TestsGrid.h"
#include "TestsGridModel.h"
#include "TfrFilter.h"

#include <QAction>
#include <QDateEdit>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

DatabasePage::DatabasePage(TdmMain& dm, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), protocolPrinter(defaultProtocolPrinter), dm_(dm), dialogs_(dialogs) {
    setObjectName(QStringLiteral("TabSheet2"));
    setFont(BrowserFonts::pixels(11));

    pnTables = new QFrame;
    pnTables->setObjectName(QStringLiteral("pnTables"));
    gbTests = new QGroupBox(LocaleText::plainCaption());
    gbTests->setObjectName(QStringLiteral("gbTests"));
    grTests = new TestsGrid(dm.qrTests);
    auto* testsLayout = new QVBoxLayout(gbTests);
    testsLayout->setContentsMargins(11, 4, 12, 9);
    testsLayout->addWidget(grTests);

    pnDBButton = new QFrame;
    pnDBButton->setObjectName(QStringLiteral("pnDBButton"));
    pnDBButton->setFixedHeight(ButtonStripHeight);
    const struct {
        const char* name;
        int x;
        int width;
        QPixmap (*picture)();
    } strip[] = {{"btTestsFilter", 8, 129, BrowserPictures::period},
                 {"btTestsFind", 144, 145, BrowserPictures::find},
                 {"btTestsDelete", 296, 169, BrowserPictures::remove},
                 {"btTestsPrint", 471, 169, BrowserPictures::print}};
    for (size_t i = 0; i < buttons.size(); ++i) {
        auto* b = new QToolButton(pnDBButton);
        b->setObjectName(QString::fromLatin1(strip[i].name));
        b->setGeometry(strip[i].x, 8, strip[i].width, 25);
        b->setIcon(QIcon(strip[i].picture()));
        b->setIconSize(QSize(16, 16));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        // The grid keeps the keyboard: a click runs the action and leaves the focus where it was.
        b->setFocusPolicy(Qt::NoFocus);
        buttons[i] = b;
    }

    auto* tablesLayout = new QVBoxLayout(pnTables);
    tablesLayout->setContentsMargins(0, 0, 0, 0);
    tablesLayout->setSpacing(0);
    tablesLayout->addWidget(gbTests, 1);
    tablesLayout->addWidget(pnDBButton);

    pnInfo = new QFrame;
    pnInfo->setObjectName(QStringLiteral("pnInfo"));
    pnInfo->setFixedWidth(InfoWidth);
    GroupBox1 = new QGroupBox(QStringLiteral(" Информация об испытании "));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    sbInfo = new QScrollArea;
    sbInfo->setObjectName(QStringLiteral("sbInfo"));
    sbInfo->setFrameShape(QFrame::NoFrame);
    sbInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sbInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    sbInfo->setWidgetResizable(false);
    info = new RecordView;
    sbInfo->setWidget(info);
    sbInfo->viewport()->installEventFilter(this);
    auto* infoBox = new QVBoxLayout(GroupBox1);
    infoBox->setContentsMargins(2, 4, 2, 2);
    infoBox->addWidget(sbInfo);
    auto* infoLayout = new QVBoxLayout(pnInfo);
    infoLayout->setContentsMargins(0, 0, 0, 0);
    infoLayout->addWidget(GroupBox1);

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(pnTables, 1);
    page->addWidget(pnInfo);

    frFilter = new TfrFilter(this);

    // Told once the editor has closed: a message box must not run inside the grid's commit.
    connect(grTests, &TestsGrid::editRefused, this, [this] {
        const QString why = dm_.lastError();
        QTimer::singleShot(0, this, [this, why] {
            dialogs_.message(window(),
                             {Dialogs::Icon::Error, QStringLiteral("Ошибка записи в базу данных"),
                              QStringLiteral("Изменение не сохранено в базе данных.\n") + why, Dialogs::Ok});
        });
    });

    connect(&dm_, &TdmMain::readDone, this, &DatabasePage::readDone);

    // Until a list is open there is no test to show.
    sbInfo->hide();
}

void DatabasePage::readDone(bool ok, const QString& why) {
    if (ok || readFailing_) {
        readFailing_ = !ok;
        return;
    }
    readFailing_ = true;
    // The read ran inside a handler of the page or the list: the box comes after it.
    QTimer::singleShot(0, this, [this, why] {
        dialogs_.message(window(), {Dialogs::Icon::Error, QStringLiteral("Ошибка чтения базы данных"),
                                    QStringLiteral("Не удалось прочитать испытания из базы данных.\n") + why,
                                    Dialogs::Ok});
    });
}

DatabasePage::~DatabasePage() = default;

void DatabasePage::setActions(const std::array<QAction*, 4>& actions) {
    for (size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setText(actions[i]->text());
        // A caption wider than its design width (another face) widens its button and moves
        // the following ones on, so that no caption is cut.
        const QRect g = buttons[i]->geometry();
        const int x = i == 0 ? g.x() : std::max(g.x(), buttons[i - 1]->geometry().right() + 7);
        buttons[i]->setGeometry(x, g.y(), std::max(g.width(), buttons[i]->sizeHint().width()), g.height());
        // Not setDefaultAction: that would put the action's key into the toolkit's shortcut
        // map beside the window's own key routing.
        connect(buttons[i], &QToolButton::clicked, actions[i], &QAction::trigger);
    }
}

void DatabasePage::TabSheet2Show(const QDateTime& begin, const QDateTime& end) {
    grTests->setFocus();
    refresh(begin, end);
}

void DatabasePage::refresh(const QDateTime& begin, const QDateTime& end) {
    grTests->commitEdit();
    dm_.TableTestsSelect(begin, end);
}

void DatabasePage::setRangeCaption(const QDateTime& begin, const QDateTime& end) {
    gbTests->setTitle(LocaleText::rangeCaption(begin, end, QLocale::system()));
}

bool DatabasePage::chooseRange(QDateTime& begin, QDateTime& end) {
    frFilter->edDTBegin->setDate(begin.date());
    frFilter->edDTEnd->setDate(end.date());
    const int result = dialogs_.exec(*frFilter);
    if (result != QDialog::Accepted || !frFilter->fOk)
        return false;
    // The dates are checked neither against each other nor for order: a beginning after the
    // end is a range without tests.
    begin = QDateTime(frFilter->edDTBegin->date(), QTime(0, 0));
    end = QDateTime(frFilter->edDTEnd->date(), QTime(0, 0));
    refresh(begin, end);
    setRangeCaption(begin, end);
    return true;
}

void DatabasePage::findTest() {
    grTests->endIncrementalSearch();
    TestsFindDialog find(*grTests, dialogs_);
    dialogs_.exec(find);
}

void DatabasePage::deleteTest(const QDateTime& begin, const QDateTime& end) {
    grTests->commitEdit();
    if (dm_.qrTests.rowCount() == 0)
        return;
    const Dialogs::Message question{Dialogs::Icon::None, QStringLiteral("Подтверждение удаления"),
                                    QStringLiteral("Вы действительно хотите удалить выбранное испытание?"),
                                    Dialogs::Yes | Dialogs::No};
    if (dialogs_.message(window(), question) != Dialogs::Yes)
        return;
    dm_.TableTestsDelete(dm_.qrTests.currentId());
    refresh(begin, end);
}

void DatabasePage::printTest(QWidget& window) {
    // The protocol shows what the operator has typed so far.
    grTests->commitEdit();
    // An empty list hides the view; its labels still hold the last test's texts.
    if (dm_.qrTests.rowCount() == 0)
        return;
    auto fail = [&](const QString& text) {
        dialogs_.message(&window,
                         {Dialogs::Icon::Error, QStringLiteral("Печать протокола"), text, Dialogs::Ok});
    };
    QString error;
    const std::unique_ptr<QPrinter> printer = protocolPrinter(&error);
    if (!printer) {
        fail(error);
        return;
    }
    if (PrintForm(window, RecordView::PrintTag, *printer, &error) < 0) {
        fail(error);
        return;
    }
    if (printer->printerState() == QPrinter::Error) {
        fail(QStringLiteral("Протокол не напечатан: принтер сообщил об ошибке."));
        return;
    }
    dialogs_.message(&window, {Dialogs::Icon::Information, QStringLiteral("Печать протокола"),
                               QStringLiteral("Протокол испытания № ") + info->lbOrderNumber->text() +
                                   QStringLiteral(" отправлен на печать."),
                               Dialogs::Ok});
}

void DatabasePage::ShowInfo() {
    const TestsModel& tests = dm_.qrTests;
    grTests->followList();
    // Without its axles the view would show the test as if it had none.
    if (tests.rowCount() == 0 || tests.currentRow() < 0 || !dm_.axlesReadOk()) {
        sbInfo->hide();
        return;
    }
    sbInfo->show();
    info->ShowInfo(tests, tests.currentRow(), dm_.qrAxles);
    info->resize(sbInfo->viewport()->width(), info->stackHeight());
    sbInfo->verticalScrollBar()->setValue(0);
}

bool DatabasePage::eventFilter(QObject* obj, QEvent* e) {
    if (obj == sbInfo->viewport() && e->type() == QEvent::Resize)
        info->resize(sbInfo->viewport()->width(), info->stackHeight());
    return QWidget::eventFilter(obj, e);
}
