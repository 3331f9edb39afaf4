#include "TfrMain.h"

#include "BoardPage.h"
#include "Commands.h"
#include "DatabasePage.h"
#include "KalvexService.h"
#include "KeyMap.h"
#include "SelectPortDialog.h"
#include "TestsGrid.h"
#include "TfrAbout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <exception>

TfrMain::TfrMain(const Station& st, Dialogs& dialogs, Clock& clock, const QStringList& arguments,
                 QWidget* parent)
    : QMainWindow(parent), station(st), link(image),
      storage(station.path(QStringLiteral("Outbox"))), endOfTest(link, settings, storage, clock, station.titlesFile()),
      automation(link, image, settings, clock), dialogs_(dialogs), clock_(clock), arguments_(arguments) {
    setObjectName(QStringLiteral("frMain"));
    setWindowTitle(QStringLiteral("Mirvane - версия 3.5.1"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);
    resize(1163, 822);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    TabSheet1 = new BoardPage(link);
    TabSheet2 = new DatabasePage(dmMain, dialogs);
    PageControl1->addTab(TabSheet1, QStringLiteral("F11 - Табло"));
    PageControl1->addTab(TabSheet2, QStringLiteral("F12 - База данных"));
    setCentralWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1)
            TabSheet2Show();
    });

    frAbout = new TfrAbout(this);

    // Beside the page tabs, in the tab bar's own height: the board below keeps its size.
    lbWaiting = new QLabel;
    lbWaiting->setObjectName(QStringLiteral("lbWaiting"));
    lbWaiting->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; font-size: 13px; padding: 0 8px; }"));
    lbWaiting->hide();
    PageControl1->setCornerWidget(lbWaiting, Qt::TopRightCorner);
    tmStorage.setInterval(500);
    connect(&tmStorage, &QTimer::timeout, this, &TfrMain::tmStorageTimer);
    connect(&storage, &TestStorage::stored, this, &TfrMain::testStored);

    acAbout = makeAction(ActionList1, "acAbout", QStringLiteral("О программе"), Qt::Key_F1);
    acClose = makeAction(ActionList1, "acClose", QStringLiteral("Выход"), Qt::Key_Escape);
    acShowSysData = makeAction(ActionList1, "acShowSysData", QStringLiteral("Диагностика связи"), Qt::Key_F5);
    acResetSysData = makeAction(ActionList1, "acResetSysData", QStringLiteral("Сброс потерь"), Qt::Key_Space);
    for (size_t i = 0; i < Commands.size(); ++i) {
        const CommandDef& c = Commands[i];
        QAction* a = makeAction(ActionList1, c.action, QString::fromLatin1(c.action),
                                Qt::SHIFT | (c.key <= '9' ? Qt::Key_0 + (c.key - '0') : Qt::Key_A + (c.key - 'A')));
        a->setData(c.code);
        connect(a, &QAction::triggered, this, [this, a] { CommandExecute(a); });
        acCommands[i] = a;
    }
    TabSheet1->setCommandActions(acCommands);
    acTestsFilter = makeAction(ActionList2, "acTestsFilter", QStringLiteral("F3 - Период данных"), Qt::Key_F3);
    acTestsFind = makeAction(ActionList2, "acTestsFind", QStringLiteral("F7 - Поиск в базе"), Qt::Key_F7);
    acTestsDelete =
        makeAction(ActionList2, "acTestsDelete", QStringLiteral("F8 - Удалить испытание"), Qt::Key_F8);
    acTestsPrint =
        makeAction(ActionList2, "acTestsPrint", QStringLiteral("F9 - Распечатать протокол"), Qt::Key_F9);
    acShowPageTablo = makeAction(ActionList2, "acShowPageTablo", QStringLiteral("F11 - Табло"), Qt::Key_F11);
    acShowPageDatabse =
        makeAction(ActionList2, "acShowPageDatabse", QStringLiteral("F12 - База данных"), Qt::Key_F12);

    connect(acAbout, &QAction::triggered, this, &TfrMain::acAboutExecute);
    connect(acClose, &QAction::triggered, this, &QWidget::close);
    connect(acShowSysData, &QAction::triggered, this, &TfrMain::acShowSysDataExecute);
    connect(acResetSysData, &QAction::triggered, this, &TfrMain::acResetSysDataExecute);
    connect(acShowPageTablo, &QAction::triggered, this, &TfrMain::acSelectTabloExecute);
    connect(acShowPageDatabse, &QAction::triggered, this, &TfrMain::acSelectDatabaseExecute);
    connect(acTestsFilter, &QAction::triggered, this, &TfrMain::acTestsFilterExecute);
    connect(acTestsFind, &QAction::triggered, this, &TfrMain::acTestsFindExecute);
    connect(acTestsDelete, &QAction::triggered, this, &TfrMain::acTestsDeleteExecute);
    connect(acTestsPrint, &QAction::triggered, this, &TfrMain::acTestsPrintExecute);
    TabSheet2->setActions({acTestsFilter, acTestsFind, acTestsDelete, acTestsPrint});
    connect(&dmMain, &TdmMain::testsDataChanged, this, &TfrMain::ShowInfo);

    connect(&link, &StandLink::repaintBoard, TabSheet1, &BoardPage::RepaintBoard);
    connect(&link, &StandLink::handOver, this, &TfrMain::handOverTest);

    automation.isWindowVisible = [this] { return isVisible(); };
    automation.setStationDir(station.dir);
    automation.setWindowVisible = [this](bool v) { setVisible(v); };

    // Neither port opens by itself; start-up opens them.
    cpMain = serialPortFactory()(4096);
    cpIR = serialPortFactory()(40960);
    cpMain->setChooser([this] { return SelectPort(); });
    link.setPorts(cpMain.get(), cpIR.get());

    // The window's shortcuts are handled before the focused control sees the key.
    qApp->installEventFilter(this);
}

TfrMain::~TfrMain() {
    // The database page works on dmMain's lists, which die with the members: it goes first.
    delete TabSheet2;
}

QAction* TfrMain::makeAction(QList<QAction*>& list, const char* name, const QString& caption, int key) {
    auto* a = new QAction(caption, this);
    a->setObjectName(QString::fromLatin1(name));
    // The shortcut is documentation and matching data; keys are routed by eventFilter, so
    // the action is not added to a widget where the toolkit's own shortcut map would see it.
    a->setShortcut(QKeySequence(key));
    list.append(a);
    return a;
}

void TfrMain::FormShow() {
    if (shown_)
        return;
    shown_ = true;

    // 1. Settings.
    settings = loadSettings(station.settingsFile);
    // 2. Ports.
    openPorts();
    // 3. Register profile.
    loadProfile();
    // 4. The poll cycle goes idle: from here on it runs, also under the dialogs below.
    link.setIdle();
    TabSheet1->fShowFPS = false;
    // 5. Database.
    connectDatabase();
    // 6. Date range of the test list: today.
    FilterDTBegin = clock_.now();
    FilterDTEnd = FilterDTBegin;
    if (settings.fDataBaseEnabled) {
        dmMain.TableTestsSelect(FilterDTBegin, FilterDTEnd);
        TabSheet2->setRangeCaption(FilterDTBegin, FilterDTEnd);
    }
    // 7. The board in front.
    PageControl1->setCurrentIndex(0);
    update();
    // 8. Command buttons.
    TabSheet1->pnButton->setVisible(settings.fIRDebug);
    // 9. The board lays itself out on every resize of its panel.
    // 10.
    link.InCount = 0;
    link.fRequest = false;
    link.PageStatus = 1;
    fEmbedding = !arguments_.isEmpty() && arguments_.first().toUpper() == QLatin1String("-EMBEDDING");
    // 11. About box, closing itself, unless started for an automation client.
    frAbout->fAutoClose = true;
    if (!fEmbedding)
        dialogs_.exec(*frAbout);
    // 12. The database page's show handler runs once.
    if (settings.fDataBaseEnabled) {
        PageControl1->setCurrentIndex(1);
        PageControl1->setCurrentIndex(0);
    }
}

void TfrMain::openPorts() {
    if (link.openPorts(settings))
        return;
    // The operator's message is the one the station always gave; why the port failed goes
    // into its details and onto the error output, for whoever mends it.
    const PortOpenFailure why = cpMain->openFailure();
    if (why.reason != PortOpenFailure::Reason::None)
        std::fprintf(stderr, "mirvane: cannot open the controller's port %s\n", qPrintable(why.engineerText()));
    Dialogs::Message m{Dialogs::Icon::None, QStringLiteral("Ошибка"),
                       QStringLiteral("Не могу инициализировать COM-порт контроллера."), Dialogs::Ok};
    m.detail = why.operatorText();
    dialogs_.message(this, m);
}

QString TfrMain::SelectPort() {
    SelectPortDialog dialog(this);
    if (dialogs_.exec(dialog) != QDialog::Accepted)
        return QString();
    return dialog.chosenPort();
}

void TfrMain::loadProfile() {
    const RegisterImage::LoadResult r = image.loadProfile(station.path(settings.ProfileFile));
    if (r.fileMissing) {
        dialogs_.message(this, {Dialogs::Icon::None, QStringLiteral("Ошибка"),
                                QStringLiteral("Ошибка загрузки профиля устройства. Файл профиля отсутствует."),
                                Dialogs::Ok});
        return;
    }
    if (!r.refused.isEmpty())
        dialogs_.message(this, {Dialogs::Icon::Warning, QStringLiteral("Ошибка"),
                                QStringLiteral("Ошибка загрузки профиля устройства.\n") +
                                    r.refused.join(QLatin1Char('\n')),
                                Dialogs::Ok});
}

void TfrMain::connectDatabase() {
    PageControl1->setTabVisible(1, settings.fDataBaseEnabled);
    if (!settings.fDataBaseEnabled) {
        setTabsVisible(false);
        return;
    }
    QString why;
    const std::optional<DatabaseConfig> config =
        DatabaseConfig::fromSettings(settings, station.databaseFile(), &why);
    if (!config || !dmMain.DatabaseConnect(*config)) {
        // The operator's message is the same whatever the cause; the service engineer finds
        // the cause on the program's error output.
        if (why.isEmpty())
            why = dmMain.lastError();
        std::fprintf(stderr, "mirvane: cannot connect the database %s: %s\n",
                     qPrintable(config ? config->describe() : settings.DatabaseDriver), qPrintable(why));
        dialogs_.message(this, {Dialogs::Icon::Error, QStringLiteral("Ошибка подключения к базе данных"),
                                QStringLiteral("Не найден файл базы данных. Проверьте его месторасположение."),
                                Dialogs::Ok});
        settings.fDataBaseEnabled = false;
        setTabsVisible(false);
        PageControl1->setTabVisible(1, false);
        return;
    }
    // Tests an earlier run left waiting go first.
    storage.loadOutbox();
    storage.start(*config);
    tmStorage.start();
}

void TfrMain::tmStorageTimer() {
    const StorageNotice::Told told = storageNotice_.update(storage.status());
    lbWaiting->setText(told.mark);
    lbWaiting->setVisible(!told.mark.isEmpty());
    if (told.message)
        QTimer::singleShot(0, this, [this, text = *told.message] {
            dialogs_.message(this, {Dialogs::Icon::Error, StorageNotice::failureTitle(), text, Dialogs::Ok});
        });
}

void TfrMain::setTabsVisible(bool visible) { PageControl1->tabBar()->setVisible(visible); }

void TfrMain::TabSheet2Show() {
    // The database page refreshes its list each time it comes to the front.
    TabSheet2->TabSheet2Show(FilterDTBegin, FilterDTEnd);
}

void TfrMain::ShowInfo() { TabSheet2->ShowInfo(); }

void TfrMain::acTestsFilterExecute() {
    // The range is chosen only on the database page.
    if (PageControl1->currentIndex() != 1)
        return;
    TabSheet2->chooseRange(FilterDTBegin, FilterDTEnd);
}

void TfrMain::acTestsFindExecute() { TabSheet2->findTest(); }

void TfrMain::acTestsDeleteExecute() { TabSheet2->deleteTest(FilterDTBegin, FilterDTEnd); }

void TfrMain::acTestsPrintExecute() { TabSheet2->printTest(*this); }

void TfrMain::handOverTest() {
    // This runs inside the link's reply handling: nothing may escape from here, and the poll
    // cycle must be idle again before a message box runs its own event loop, so a failure is
    // told once the hand-over has returned. The database is never waited for here: the test
    // goes into the outbox and the storage stores it; tmStorageTimer tells how that goes.
    TestHandOver::Taken taken = TestHandOver::Taken::NotStored;
    QString protocolFile;
    QString protocolError;
    try {
        taken = endOfTest.StoreTest();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirvane: test %d was not taken over: %s\n", endOfTest.orderNumber(), e.what());
    } catch (...) {
        std::fprintf(stderr, "mirvane: test %d was not taken over\n", endOfTest.orderNumber());
    }
    try {
        const TestHandOver::Protocol p = endOfTest.WriteProtocol();
        if (!p.lines.isEmpty())
            TabSheet1->mmData->setPlainText(p.lines.join(QLatin1Char('\n')));
        if (p.written)
            protocolFile = p.path;
        else if (settings.fPrintAct)
            protocolError = p.error;
    } catch (const std::exception& e) {
        // A protocol that cannot be made is no reason to stop polling.
        protocolError = QString::fromLocal8Bit(e.what());
    } catch (...) {
        protocolError = QStringLiteral("unknown error");
    }
    if (!protocolError.isEmpty()) {
        const int order = endOfTest.orderNumber();
        std::fprintf(stderr, "mirvane: the protocol of test %d was not written: %s\n", order,
                     qPrintable(protocolError));
        // Once, until a protocol is written again: a directory that cannot take files fails
        // for every test.
        if (!protocolFailing_)
            QTimer::singleShot(0, this, [this, order, protocolError] {
                dialogs_.message(this, {Dialogs::Icon::Error, QStringLiteral("Ошибка записи протокола"),
                                        QStringLiteral("Протокол испытания № %1 не записан.\n%2")
                                            .arg(order)
                                            .arg(protocolError),
                                        Dialogs::Ok});
            });
        protocolFailing_ = true;
    } else if (!protocolFile.isEmpty()) {
        protocolFailing_ = false;
    }
    emit testHandedOver(taken, protocolFile);
}

void TfrMain::CommandExecute(QAction* action) {
    if (settings.fIRDebug)
        link.IRByte = static_cast<uint8_t>(action->data().toInt());
}

void TfrMain::acSelectTabloExecute() { PageControl1->setCurrentIndex(0); }

void TfrMain::acSelectDatabaseExecute() {
    // Without a connected database there is no page to show.
    if (databaseConnected())
        PageControl1->setCurrentIndex(1);
}

void TfrMain::acAboutExecute() {
    frAbout->fAutoClose = false;
    dialogs_.exec(*frAbout);
}

void TfrMain::acShowSysDataExecute() { TabSheet1->fShowFPS = !TabSheet1->fShowFPS; }

void TfrMain::acResetSysDataExecute() {
    link.BadPacket = 0;
    TabSheet1->RepaintBoard();
}

QAction* TfrMain::actionForKey(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode) const {
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    if (mods == Qt::ShiftModifier) {
        const QString platform = QGuiApplication::platformName();
        const bool xkb = platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
        const int i = KeyMap::commandIndex(key, xkb ? nativeScanCode : 0);
        return i >= 0 ? acCommands[i] : nullptr;
    }
    if (mods != Qt::NoModifier)
        return nullptr;
    for (const QList<QAction*>* list : {&ActionList1, &ActionList2})
        for (QAction* a : *list)
            if (a->shortcut() == QKeySequence(key))
                return a;
    return nullptr;
}

bool TfrMain::eventFilter(QObject* obj, QEvent* e) {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride)
        return false;
    auto* w = qobject_cast<QWidget*>(obj);
    if (!w || w->window() != this)
        return false;
    auto* ke = static_cast<QKeyEvent*>(e);
    QAction* a = actionForKey(ke->key(), ke->modifiers(), ke->nativeScanCode());
    if (!a)
        return false;
    // A VIN or a registration number is full of the letters and digits the command keys sit
    // on: typed into a cell of the test list (the first key opens its editor), they go there.
    // The focus decides, not the receiver: the key that opens the editor comes back to the
    // grid's parents unaccepted.
    if (std::find(acCommands.begin(), acCommands.end(), a) != acCommands.end() &&
        TabSheet2->grTests->takesTyping(QApplication::focusWidget()))
        return false;
    if (e->type() == QEvent::ShortcutOverride) {
        // Claim the key so that no editor and no toolkit shortcut takes it first.
        ke->accept();
        return true;
    }
    if (a->isEnabled())
        a->trigger();
    return true;
}

void TfrMain::closeEvent(QCloseEvent* e) {
    // Ask before anything stops: "No" leaves the station fully running.
    if (kalvex && kalvex->objectCount() > 0) {
        const Dialogs::Message question{
            Dialogs::Icon::Warning, QStringLiteral("COM Server Warning"),
            QStringLiteral("There are still active COM objects in this application.  One or more clients may "
                           "have references to these objects, so manually closing ") +
                QStringLiteral("this application may cause those client application(s) to fail.") +
                QStringLiteral("\r\n\r\nAre you sure you want to close this application?"),
            Dialogs::Yes | Dialogs::No, Dialogs::No, true};
        if (dialogs_.message(this, question) != Dialogs::Yes) {
            e->ignore();
            return;
        }
    }
    FormClose();
    e->accept();
}

void TfrMain::FormClose() {
    TabSheet1->tmBlink.stop();
    link.stop();
}
