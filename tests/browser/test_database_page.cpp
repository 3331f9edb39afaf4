#include "DatabasePageFixture.h"
#include "LocaleText.h"
#include "TestsFindDialog.h"
#include "TfrFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString TodayCaption = u" Таблица испытаний (данные с 09.12.2026 00:00:00 по 09.12.2026 23:59:59) "_s;

} // namespace

class DatabasePageTest : public DatabasePageFixture {
protected:
    // Three tests today (stored out of order), one on each neighbouring day and one deleted.
    void storeDay() {
        storeBefore({test(2, at(10)), test(1, at(8)), test(3, at(23, 59)), test(9, at(23, 59, -1)),
                     test(8, at(0, 0, 1)), test(4, at(12))});
        TdmMain dm;
        ASSERT_TRUE(dm.DatabaseConnect(db));
        dm.TableTestsSelect(at(0), at(0));
        dm.TableTestsDelete(dm.qrTests.value(2, u"id"_s).toInt()); // order 4
    }
    // Runs the date-range dialog shown, with these dates, closed by `close`.
    void onFilter(QDate begin, QDate end, std::function<void(TfrFilter&)> close) {
        dialogs.onExec = [=](QDialog& d) {
            auto& f = dynamic_cast<TfrFilter&>(d);
            f.show();
            f.edDTBegin->setDate(begin);
            f.edDTEnd->setDate(end);
            close(f);
            return f.result();
        };
    }
    static void ok(TfrFilter& f) { QTest::keyClick(f.edDTEnd, Qt::Key_Return); }
};

TEST_F(DatabasePageTest, StartUpListsTodaysTestsOldestFirstUnderTheDaysCaption) {
    storeDay();
    start();
    EXPECT_EQ(w->PageControl1->currentIndex(), 0);
    EXPECT_EQ(orders(), (QList<int>{1, 2, 3}));
    EXPECT_EQ(caption(), TodayCaption);
    EXPECT_EQ(list().currentRow(), 0);
    EXPECT_TRUE(viewShown());
    EXPECT_EQ(shownOrder(), u"1"_s);
}

TEST_F(DatabasePageTest, GridShowsSevenTitledColumnsFillingItsWidthWithGreyReadOnlyOnes) {
    storeBefore({test(1, at(8))});
    start();
    key(Qt::Key_F12);
    const TestsGridModel& m = *grid().gridModel();
    QStringList titles;
    for (int c = 0; c < m.columnCount(); ++c)
        titles << m.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles,
              (QStringList{u"Номер испытания"_s, u"Номер ТС"_s, u"VIN ТС"_s, u"Дата/время начала испытания"_s,
                           u"Дата/время окончания испытания"_s, u"Число осей"_s, u"Тип ТС"_s}));
    EXPECT_EQ(m.index(0, 0).data().toInt(), 1);
    EXPECT_EQ(m.index(0, 3).data().toString(), LocaleText::systemDateTime(at(8), QLocale::system()));
    EXPECT_EQ(m.index(0, 5).data().toInt(), 2);
    EXPECT_EQ(m.index(0, 6).data().toString(), u"легковой"_s);
    for (int c = 0; c < m.columnCount(); ++c) {
        const bool editable = c == 1 || c == 2;
        EXPECT_EQ(bool(m.flags(m.index(0, c)) & Qt::ItemIsEditable), editable) << c;
        EXPECT_EQ(m.index(0, c).data(Qt::ForegroundRole).isValid(), !editable) << c;
    }
    for (const QSize size : {QSize(1163, 822), QSize(1920, 1080), QSize(900, 600)}) {
        w->resize(size);
        QCoreApplication::processEvents();
        int sum = 0;
        for (int c = 0; c < m.columnCount(); ++c)
            sum += grid().columnWidth(c);
        EXPECT_EQ(sum, grid().viewport()->width()) << size.width();
        EXPECT_FALSE(grid().horizontalScrollBar()->isVisible());
        EXPECT_EQ(page().pnInfo->width(), 462);
    }
    // The design proportions: the date-time columns are the widest.
    const std::array<int, 7> widths = TestsGrid::columnWidths(634);
    EXPECT_EQ(widths, (std::array<int, 7>{74, 86, 64, 138, 144, 64, 64}));
}

TEST_F(DatabasePageTest, RangeKeyWorksOnTheDatabasePageOnly) {
    storeDay();
    start();
    key(Qt::Key_F3);
    EXPECT_TRUE(dialogs.dialogs.isEmpty());
    key(Qt::Key_F12);
    key(Qt::Key_F3);
    EXPECT_EQ(dialogs.dialogs, QStringList{u"frFilter"_s});
}

TEST_F(DatabasePageTest, CancelEscOrTheCloseBoxChangeNothing) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(1, 0);
    const QDateTime begin = w->FilterDTBegin;
    const struct {
        const char* way;
        std::function<void(TfrFilter&)> close;
    } ways[] = {
        {"Отмена", [](TfrFilter& f) { QTest::mouseClick(f.BitBtn2, Qt::LeftButton); }},
        {"Esc", [](TfrFilter& f) { QTest::keyClick(f.edDTBegin, Qt::Key_Escape); }},
        {"close box", [](TfrFilter& f) { f.close(); }},
    };
    for (const auto& way : ways) {
        onFilter(today.addDays(-1), today, way.close);
        key(Qt::Key_F3);
        EXPECT_EQ(w->FilterDTBegin, begin) << way.way;
        EXPECT_EQ(orders(), (QList<int>{1, 2, 3})) << way.way;
        EXPECT_EQ(list().currentRow(), 1) << way.way;
        EXPECT_EQ(caption(), TodayCaption) << way.way;
        EXPECT_FALSE(page().frFilter->fOk) << way.way;
    }
    EXPECT_EQ(dialogs.dialogs.size(), 3);
}

TEST_F(DatabasePageTest, AcceptedRangeRefreshesTheListAndSetsItsCaption) {
    storeDay();
    start();
    key(Qt::Key_F12);
    // Stored while the page is in front: not listed until the list is refreshed.
    ASSERT_EQ(w->dmMain.TableTestsStore(test(5, at(13))), TdmMain::StoreResult::Stored);
    EXPECT_EQ(orders(), (QList<int>{1, 2, 3}));

    onFilter(today, today, ok);
    key(Qt::Key_F3);
    EXPECT_TRUE(page().frFilter->fOk);
    EXPECT_EQ(orders(), (QList<int>{1, 2, 5, 3}));
    EXPECT_EQ(caption(), TodayCaption);
    EXPECT_EQ(w->FilterDTBegin, at(0));
    EXPECT_EQ(w->FilterDTEnd, at(0));

    onFilter(today.addDays(-1), today.addDays(1), ok);
    key(Qt::Key_F3);
    EXPECT_EQ(orders(), (QList<int>{9, 1, 2, 5, 3, 8}));
    EXPECT_EQ(caption(), u" Таблица испытаний (данные с 08.12.2026 00:00:00 по 10.12.2026 23:59:59) "_s);
}

TEST_F(DatabasePageTest, AReversedRangeEmptiesTheListAndHidesTheView) {
    storeBefore({makeTest(1, at(8), std::vector<AxleValues>(9, carAxle())), test(2, at(9))});
    start();
    key(Qt::Key_F12);
    QScrollBar* bar = page().sbInfo->verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_GT(bar->value(), 0) << "nine axles do not fit the view";

    onFilter(today, today.addDays(-1), ok);
    key(Qt::Key_F3);
    EXPECT_TRUE(orders().isEmpty());
    EXPECT_FALSE(viewShown());
    EXPECT_EQ(caption(), u" Таблица испытаний (данные с 09.12.2026 00:00:00 по 08.12.2026 23:59:59) "_s);

    onFilter(today, today, ok);
    key(Qt::Key_F3);
    EXPECT_EQ(orders(), (QList<int>{1, 2}));
    EXPECT_TRUE(viewShown());
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(shownOrder(), u"1"_s);
}

TEST_F(DatabasePageTest, BackToThePageBringsInNewTestsAndKeepsTheCurrentTest) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(0, 0);
    key(Qt::Key_Down);
    EXPECT_EQ(currentOrder(), 2);
    EXPECT_EQ(shownOrder(), u"2"_s);

    ASSERT_EQ(w->dmMain.TableTestsStore(test(7, at(7))), TdmMain::StoreResult::Stored);
    key(Qt::Key_F11);
    EXPECT_EQ(orders(), (QList<int>{1, 2, 3}));
    key(Qt::Key_F12);
    EXPECT_EQ(orders(), (QList<int>{7, 1, 2, 3}));
    EXPECT_EQ(currentOrder(), 2);
    EXPECT_EQ(grid().currentIndex().row(), 2);
    EXPECT_EQ(shownOrder(), u"2"_s);
    EXPECT_EQ(grid().gridModel()->headerData(2, Qt::Vertical).toString(), u"▶"_s);
    EXPECT_EQ(QApplication::focusWidget(), &grid());
}

TEST_F(DatabasePageTest, TheRegistrationNumberCellKeepsTenCharactersAndWritesThemBack) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(1, 1);
    type("A123BC77RUS");
    key(Qt::Key_Return);

    EXPECT_EQ(stored(u"SELECT CarNumber FROM Tests WHERE OrderNumber = 2"_s).toString(), u"A123BC77RU"_s);
    EXPECT_EQ(grid().gridModel()->index(1, 1).data().toString(), u"A123BC77RU"_s);
    EXPECT_EQ(page().info->lbCarNumber->text(), u"A123BC77RU"_s);
    // An edit under way when the list is refreshed is written, not dropped.
    selectCell(2, 1);
    type("B7");
    onFilter(today, today, ok);
    key(Qt::Key_F12);
    key(Qt::Key_F3);
    EXPECT_EQ(stored(u"SELECT CarNumber FROM Tests WHERE OrderNumber = 3"_s).toString(), u"B7"_s);
    EXPECT_EQ(list().value(2, u"CarNumber"_s).toString(), u"B7"_s);
    // Other columns refuse editing.
    selectCell(1, 0);
    type("77");
    EXPECT_EQ(currentOrder(), 2);
    EXPECT_EQ(stored(u"SELECT count(*) FROM Tests WHERE OrderNumber = 77"_s).toInt(), 0);
}

TEST_F(DatabasePageTest, AnEditTheDatabaseRefusesIsToldAndNotShownAsStored) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(0, 1);
    {
        // Another program holds the file's write lock longer than the station waits for it.
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            other.setDatabaseName(db);
            ASSERT_TRUE(other.open());
            QSqlQuery(other).exec(u"BEGIN IMMEDIATE"_s);
            type("K1");
            key(Qt::Key_Return);
            QSqlQuery(other).exec(u"ROLLBACK"_s);
            other.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].title, u"Ошибка записи в базу данных"_s);
    EXPECT_EQ(grid().gridModel()->index(0, 1).data().toString(), QString());
    EXPECT_EQ(stored(u"SELECT CarNumber FROM Tests WHERE OrderNumber = 1"_s).toString(), QString());
}

TEST_F(DatabasePageTest, ABlankInTheVinCellResetsTheLostRepliesAndEscClosesTheWindow) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(0, 2);
    w->link.BadPacket = 7;
    type("x1 2");
    EXPECT_EQ(w->link.BadPacket, 0);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), u"x12"_s);
    EXPECT_EQ(editor->maxLength(), 17);
    key(Qt::Key_Return);
    EXPECT_EQ(stored(u"SELECT VIN FROM Tests WHERE OrderNumber = 1"_s).toString(), u"x12"_s);

    type("y");
    ASSERT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
    key(Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->link.tmPort.isActive());
}

TEST_F(DatabasePageTest, AnOpenCellEditorTakesShiftedLettersAndDigitsTheBoardKeysStayCommands) {
    writeFile(dir.filePath(u"mirvane.ini"_s), "[Program]\nDatabaseEnabled=1\nRCEnabled=1\n");
    storeDay();
    start();
    key(Qt::Key_F12);
    // Each key as a keyboard gives it: capitals with Shift, the text its layout makes.
    auto press = [&](int k, const QString& text, Qt::KeyboardModifiers mods) {
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), static_cast<Qt::Key>(k), text, mods);
    };
    auto typeShifted = [&](const QString& text) {
        for (const QChar c : text) {
            const bool latin = c.isUpper() && c.unicode() < 0x80;
            press(latin || c.isDigit() ? c.toUpper().unicode() : c.unicode(), QString(c),
                  c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
        }
    };
    struct Case {
        int column;
        QString typed;
        QString stored;
        const char* field;
    };
    // Latin capitals A..F, Cyrillic А, В, С (Shift+F, D, C on a Russian layout), Shift+1; the
    // first key opens the cell's editor.
    const Case cases[] = {
        {2, u"XTA21099ABCDEF123"_s, u"XTA21099ABCDEF123"_s, "VIN"},
        {1, u"А123ВС77"_s, u"А123ВС77!"_s, "CarNumber"},
    };
    for (const Case& c : cases) {
        selectCell(0, c.column);
        w->link.IRByte = 0;
        typeShifted(c.typed);
        if (c.column == 1)
            press(Qt::Key_Exclam, u"!"_s, Qt::ShiftModifier);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << c.field;
        EXPECT_EQ(editor->text(), c.stored) << c.field;
        EXPECT_EQ(w->link.IRByte, 0) << c.field << ": no command while typing";
        // The window's other keys still work in the editor: the blank, F5.
        w->link.BadPacket = 7;
        press(Qt::Key_Space, u" "_s, Qt::NoModifier);
        EXPECT_EQ(w->link.BadPacket, 0);
        key(Qt::Key_F5);
        EXPECT_TRUE(w->TabSheet1->fShowFPS);
        key(Qt::Key_F5);
        key(Qt::Key_Return);
        EXPECT_EQ(stored(u"SELECT %1 FROM Tests WHERE OrderNumber = 1"_s.arg(QLatin1String(c.field))).toString(),
                  c.stored);
    }
    // On a column that takes no typing the same keys are commands, as on the board.
    selectCell(0, 0);
    ASSERT_EQ(QApplication::focusWidget(), &grid());
    press(Qt::Key_A, u"A"_s, Qt::ShiftModifier);
    EXPECT_EQ(w->link.IRByte, 34);
    key(Qt::Key_F11);
    press(Qt::Key_F, u"F"_s, Qt::ShiftModifier);
    EXPECT_EQ(w->link.IRByte, 39);
}

TEST_F(DatabasePageTest, FindMakesTheMatchingRowCurrentWhicheverPageIsInFront) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(0, 5);
    key(Qt::Key_F11);
    QStringList seen;
    dialogs.onExec = [&](QDialog& d) {
        auto& f = dynamic_cast<TestsFindDialog&>(d);
        seen << f.windowTitle() << f.cbColumn->currentText() << f.cbMatch->currentText()
             << (f.rbAll->isChecked() ? u"Все"_s : QString()) << f.cbCase->text() << f.cbFormat->text()
             << f.btFindNext->text() << f.btClose->text();
        f.edPattern->setText(u"3"_s);
        f.cbColumn->setCurrentIndex(0);
        QTest::mouseClick(f.btFindNext, Qt::LeftButton);
        f.edPattern->setText(u"99"_s);
        QTest::mouseClick(f.btFindNext, Qt::LeftButton);
        return int(QDialog::Rejected);
    };
    key(Qt::Key_F7);
    EXPECT_EQ(seen, (QStringList{u"Поиск"_s, u"Число осей"_s, u"С любой части поля"_s, u"Все"_s,
                                 u"С учетом ре&гистра"_s, u"С у&четом формата"_s, u"На&йти далее"_s,
                                 u"Закрыть"_s}));
    EXPECT_EQ(currentOrder(), 3);
    EXPECT_EQ(shownOrder(), u"3"_s);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, u"Поиск"_s);
    EXPECT_EQ(dialogs.messages[0].text, u"Образец «99» не найден."_s);
    EXPECT_EQ(w->PageControl1->currentIndex(), 0);
}

TEST(FindRow, MatchKindDirectionCaseAndFormat) {
    QStandardItemModel m(5, 1);
    const char* values[] = {"Alpha", "beta", "ALPHABET", "gamma", "alp"};
    for (int r = 0; r < 5; ++r)
        m.setData(m.index(r, 0), QString::fromLatin1(values[r]));
    // Date-times: typed as day.month.year, shown here as the model's own text.
    QStandardItemModel dates(2, 1);
    dates.setData(dates.index(0, 0), QDateTime(QDate(2026, 12, 9), QTime(8, 0)));
    dates.setData(dates.index(1, 0), QDateTime(QDate(2026, 12, 10), QTime(9, 30)));

    using M = TestsFindDialog::Match;
    using D = TestsFindDialog::Direction;
    struct Case {
        const QStandardItemModel* model;
        int from;
        const char* pattern;
        M match;
        D direction;
        bool caseSensitive;
        int row;
        bool useFormat = false;
    };
    const Case cases[] = {
        {&m, 0, "alp", M::AnyPart, D::All, false, 2}, // the next match, not the current row
        {&m, 2, "alp", M::AnyPart, D::All, false, 4},
        {&m, 4, "alp", M::AnyPart, D::All, false, 0}, // wraps round
        {&m, 0, "alp", M::Whole, D::All, false, 4},
        {&m, 0, "ALP", M::Start, D::All, true, 2},
        {&m, 0, "alp", M::Start, D::All, true, 4},
        {&m, 0, "pha", M::AnyPart, D::Down, false, 2},
        {&m, 2, "pha", M::AnyPart, D::Down, false, -1}, // no wrap downwards
        {&m, 2, "pha", M::AnyPart, D::Up, false, 0},
        {&m, 0, "pha", M::AnyPart, D::Up, false, -1},
        {&m, 0, "delta", M::AnyPart, D::All, false, -1},
        {&m, 0, "", M::AnyPart, D::All, false, -1},
        {&dates, 1, "09.12.2026", M::Start, D::All, false, 0},
        {&dates, 0, "09:30", M::AnyPart, D::All, false, 1},
        {&dates, 1, "2026-12-09", M::Start, D::All, false, -1},
        {&dates, 1, "2026-12-09", M::Start, D::All, false, 0, true},
    };
    for (const Case& c : cases) {
        TestsFindDialog::Options o;
        o.pattern = QString::fromLatin1(c.pattern);
        o.match = c.match;
        o.direction = c.direction;
        o.caseSensitive = c.caseSensitive;
        o.useFormat = c.useFormat;
        EXPECT_EQ(TestsFindDialog::findRow(*c.model, c.from, o), c.row) << c.pattern << " from " << c.from;
    }
}

TEST_F(DatabasePageTest, DeletionAnsweredNoChangesNothing) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(1, 0);
    dialogs.onMessage = [](const Dialogs::Message&) { return int(Dialogs::No); };
    QTest::mouseClick(page().buttons[2], Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const Dialogs::Message& m = dialogs.messages[0];
    EXPECT_EQ(m.icon, Dialogs::Icon::None);
    EXPECT_EQ(m.buttons, Dialogs::Yes | Dialogs::No);
    EXPECT_EQ(m.title, u"Подтверждение удаления"_s);
    EXPECT_EQ(m.text, u"Вы действительно хотите удалить выбранное испытание?"_s);
    EXPECT_EQ(orders(), (QList<int>{1, 2, 3}));
    EXPECT_EQ(currentOrder(), 2);
    EXPECT_EQ(shownOrder(), u"2"_s);
    EXPECT_EQ(stored(u"SELECT count(*) FROM Tests WHERE DeleteFlag"_s).toInt(), 1);
}

TEST_F(DatabasePageTest, DeletionAnsweredYesDropsTheTestFromTheListAndTheDuplicateCheck) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(1, 0);
    key(Qt::Key_F11); // the key works on the board page too
    key(Qt::Key_F8);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(orders(), (QList<int>{1, 3}));
    EXPECT_EQ(list().currentRow(), 0);
    EXPECT_EQ(shownOrder(), u"1"_s);
    EXPECT_TRUE(stored(u"SELECT DeleteFlag FROM Tests WHERE OrderNumber = 2"_s).toBool());
    EXPECT_EQ(caption(), TodayCaption);
    // The same finished test again is a new test now.
    EXPECT_EQ(w->dmMain.TableTestsStore(test(2, at(10))), TdmMain::StoreResult::Stored);
}

TEST_F(DatabasePageTest, DeletingTheOnlyTestEmptiesTheListAndLeavesNothingToDeleteOrPrint) {
    storeBefore({test(1, at(8))});
    start();
    key(Qt::Key_F12);
    key(Qt::Key_F8);
    EXPECT_TRUE(orders().isEmpty());
    EXPECT_FALSE(viewShown());
    EXPECT_EQ(caption(), TodayCaption);

    int printers = 0;
    page().protocolPrinter = [&](QString*) {
        ++printers;
        return std::unique_ptr<QPrinter>();
    };
    dialogs.messages.clear();
    key(Qt::Key_F8);
    key(Qt::Key_F9);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(printers, 0);
}
TEST(RangeDialog, IsASmallFixedBoxWithTwoCalendarDatesOkByEnterAndCancelByEsc) {
    TfrFilter f;
    EXPECT_EQ(f.windowTitle(), u"Период времени"_s);
    EXPECT_EQ(f.size(), QSize(249, 130));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    const Qt::WindowFlags flags = f.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(f.lbBegin->text(), u"Начало периода"_s);
    EXPECT_EQ(f.lbEnd->text(), u"Конец периода"_s);
    EXPECT_TRUE(f.lbBegin->font().bold() && f.lbEnd->font().bold());
    for (const QDateEdit* e : {f.edDTBegin, f.edDTEnd}) {
        EXPECT_TRUE(e->calendarPopup());
        EXPECT_FALSE(e->displayFormat().contains(u'h', Qt::CaseInsensitive)) << "a date only";
    }
    EXPECT_EQ(f.BitBtn1->text(), u"OK"_s);
    EXPECT_TRUE(f.BitBtn1->isDefault());
    EXPECT_EQ(f.BitBtn2->text(), u"Отмена"_s);

    // Shown again after an "OK", fOk starts false: Esc leaves it so.
    f.show();
    QTest::keyClick(f.edDTBegin, Qt::Key_Return);
    EXPECT_TRUE(f.fOk);
    EXPECT_EQ(f.result(), QDialog::Accepted);
    f.show();
    EXPECT_FALSE(f.fOk);
    QTest::keyClick(f.edDTBegin, Qt::Key_Escape);
    EXPECT_FALSE(f.fOk);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(DatabasePageTest, TypingInAReadOnlyColumnFindsTheRowAndTheFindKeyEndsThatSearch) {
    storeDay();
    start();
    key(Qt::Key_F12);
    selectCell(0, 0);
    type("2");
    EXPECT_EQ(currentOrder(), 2);
    dialogs.onExec = [](QDialog&) { return int(QDialog::Rejected); };
    key(Qt::Key_F7);
    // A new search, not "23", which no order number starts with.
    type("3");
    EXPECT_EQ(currentOrder(), 3);
}
