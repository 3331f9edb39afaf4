#pragma once

#include "Clock.h"
#include "KalvexHost.h"
#include "Dialogs.h"
#include "RegisterImage.h"
#include "SerialPort.h"
#include "Settings.h"
#include "StandLink.h"
#include "Station.h"
#include "StorageNotice.h"
#include "TdmMain.h"
#include "TestHandOver.h"
#include "TestStorage.h"

#include <QDateTime>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>

class BoardPage;
class DatabasePage;
class KalvexService;
class QAction;
class QLabel;
class QTabWidget;
class TfrAbout;

// The main window: owns the station's state and wires the link, the board, the storage and
// the browser together; runs start-up when first shown and shutdown when closed.
class TfrMain : public QMainWindow {
    Q_OBJECT
public:
    // arguments: the command line without the program name.
    TfrMain(const Station& station, Dialogs& dialogs, Clock& clock, const QStringList& arguments,
            QWidget* parent = nullptr);
    ~TfrMain() override;

    // The start-up sequence, run once when the window is first shown.
    void FormShow();

    // Actions of the first list: about, close, diagnostics, operator commands.
    QAction* acAbout;
    QAction* acClose;
    QAction* acShowSysData;
    QAction* acResetSysData;
    std::array<QAction*, 15> acCommands;
    // Actions of the second list: the database page and the page keys.
    QAction* acTestsFilter;
    QAction* acTestsFind;
    QAction* acTestsDelete;
    QAction* acTestsPrint;
    QAction* acShowPageTablo;
    QAction* acShowPageDatabse;
    QList<QAction*> ActionList1;
    QList<QAction*> ActionList2;

    void CommandExecute(QAction* action);
    void acSelectTabloExecute();
    void acSelectDatabaseExecute();
    void acAboutExecute();
    void acShowSysDataExecute();
    void acResetSysDataExecute();
    void acTestsFilterExecute();
    void acTestsFindExecute();
    void acTestsDeleteExecute();
    void acTestsPrintExecute();
    // Shows the list's current test in the record view of the database page.
    void ShowInfo();

    // The action a key press runs, or null when it is no shortcut of the window.
    QAction* actionForKey(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode) const;

    bool databaseConnected() const { return settings.fDataBaseEnabled; }

    const Station station;
    Settings settings;
    RegisterImage image;
    StandLink link;
    // The controller's port and the remote's port.
    std::unique_ptr<SerialPort> cpMain;
    std::unique_ptr<SerialPort> cpIR;
    TdmMain dmMain;
    // Finished tests wait in the station's outbox until the storage's own thread has them in
    // the database.
    TestStorage storage;
    TestHandOver endOfTest;
    bool fEmbedding = false;
    QDateTime FilterDTBegin;
    QDateTime FilterDTEnd;

    // The automation interface works on this window's state through the host; the service
    // (when the program could take its bus name) hands out the objects.
    KalvexHost automation;
    KalvexService* kalvex = nullptr;

    QTabWidget* PageControl1;
    BoardPage* TabSheet1;
    DatabasePage* TabSheet2;
    TfrAbout* frAbout;
    // The operator's mark of tests waiting for the database, at the right of the page tabs,
    // and the timer that keeps it up to date.
    QLabel* lbWaiting;
    QTimer tmStorage;

signals:
    // A finished test has been handed over: where it went (the outbox, or memory when the
    // outbox could not take it), and the protocol file written for it (empty when none was).
    // Emitted inside the link's reply handling, so a receiver queues anything that could run
    // an event loop of its own.
    void testHandedOver(TestHandOver::Taken taken, const QString& protocolFile);
    // A waiting test has left the outbox: stored, or refused by the database as a second copy.
    void testStored(TdmMain::StoreResult result, int orderNumber);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    QAction* makeAction(QList<QAction*>& list, const char* name, const QString& caption, int key);
    void openPorts();
    // The operator's choice of the controller's port, or an empty text for a cancel.
    QString SelectPort();
    void loadProfile();
    void connectDatabase();
    void setTabsVisible(bool visible);
    void TabSheet2Show();
    void FormClose();
    // The end of a finished test: into the outbox, then its protocol file.
    void handOverTest();
    void tmStorageTimer();

    Dialogs& dialogs_;
    Clock& clock_;
    const QStringList arguments_;
    bool shown_ = false;
    StorageNotice storageNotice_;
    bool protocolFailing_ = false; // the operator has been told; again after one is written
};
