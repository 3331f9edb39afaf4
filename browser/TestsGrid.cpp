#include "TestsGrid.h"

#include "BrowserFonts.h"
#include "TestsGridModel.h"
#include "TestsModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QResizeEvent>
#include <QStyledItemDelegate>

#include <algorithm>

// The editor of a text column holds no more characters than the column stores.
class TestsGridDelegate : public QStyledItemDelegate {
public:
    explicit TestsGridDelegate(TestsGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const int width = TestsModel::maxLength(TestsGridModel::field(index.column()));
            if (width > 0)
                edit->setMaxLength(width);
        }
        grid_->editor_ = w;
        return w;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        // The cell then shows the stored text again; the operator must learn that it is so.
        if (!model->setData(index, edit->text(), Qt::EditRole))
            emit grid_->editRefused();
    }

private:
    TestsGrid* grid_;
};

namespace {

QFont gridFont(bool bold) {
    return BrowserFonts::pixels(12, bold);
}

} // namespace

TestsGrid::TestsGrid(TestsModel& tests, QWidget* parent)
    : QTableView(parent), tests_(tests), model_(new TestsGridModel(tests, this)) {
    setObjectName(QStringLiteral("grTests"));
    setFont(gridFont(false));
    setModel(model_);
    setItemDelegate(new TestsGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setTabKeyNavigation(false);

    QHeaderView* h = horizontalHeader();
    h->setFont(gridFont(true));
    h->setDefaultAlignment(Qt::Alignment(Qt::AlignCenter | Qt::TextWordWrap));
    h->setTextElideMode(Qt::ElideNone);
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->setHighlightSections(false);
    h->setSectionsClickable(false);

    // The row indicator: a narrow strip that marks the current test. Rows have one fixed
    // height, so a year of tests costs nothing to lay out.
    QHeaderView* v = verticalHeader();
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
    v->setMinimumSectionSize(1);
    v->setFixedWidth(14);
    v->setDefaultAlignment(Qt::AlignCenter);
    v->setHighlightSections(false);
    v->setSectionsClickable(false);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!current.isValid())
            return;
        column_ = current.column();
        tests_.setCurrentRow(current.row());
    });
    connect(model_, &QAbstractItemModel::modelReset, this, &TestsGrid::fitColumns);
    fitColumns();
}

void TestsGrid::commitEdit() {
    if (state() != QAbstractItemView::EditingState || !editor_)
        return;
    QWidget* editor = editor_;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool TestsGrid::takesTyping(const QWidget* w) const {
    if (!w)
        return false;
    if (state() == QAbstractItemView::EditingState)
        return editor_ && (w == editor_ || editor_->isAncestorOf(w));
    return w == this && (model_->flags(currentIndex()) & Qt::ItemIsEditable);
}

void TestsGrid::followList() {
    const int row = tests_.currentRow();
    if (row >= 0 && row < model_->rowCount()) {
        const QModelIndex target =
            model_->index(row, std::clamp(column_, 0, TestsGridModel::ColumnCount - 1));
        if (currentIndex() != target)
            setCurrentIndex(target);
    }
    model_->markCurrent();
}

void TestsGrid::keyboardSearch(const QString& search) {
    if (typing_.isValid() && typing_.elapsed() <= QApplication::keyboardInputInterval())
        typed_ += search;
    else
        typed_ = search;
    typing_.start();
    const int rows = model_->rowCount();
    if (typed_.isEmpty() || rows == 0)
        return;
    const int column = std::max(0, currentIndex().column());
    const int from = std::max(0, currentIndex().row());
    for (int k = 0; k < rows; ++k) {
        const QModelIndex i = model_->index((from + k) % rows, column);
        if (i.data().toString().startsWith(typed_, Qt::CaseInsensitive)) {
            setCurrentIndex(i);
            return;
        }
    }
}

void TestsGrid::endIncrementalSearch() {
    typed_.clear();
    typing_.invalidate();
}

std::array<int, 7> TestsGrid::columnWidths(int total) {
    const auto& columns = TestsGridModel::gridColumns();
    int design = 0;
    for (const auto& c : columns)
        design += c.width;
    std::array<int, 7> w{};
    int used = 0;
    for (size_t i = 0; i + 1 < columns.size(); ++i) {
        w[i] = std::max(1, total * columns[i].width / design);
        used += w[i];
    }
    w.back() = std::max(1, total - used);
    return w;
}

void TestsGrid::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    fitColumns();
}

void TestsGrid::fitColumns() {
    const std::array<int, 7> w = columnWidths(viewport()->width());
    QHeaderView* h = horizontalHeader();
    const QFontMetrics fm(h->font());
    int height = 0;
    for (int c = 0; c < TestsGridModel::ColumnCount; ++c) {
        h->resizeSection(c, w[c]);
        const QString title = model_->headerData(c, Qt::Horizontal).toString();
        height = std::max(height, fm.boundingRect(QRect(0, 0, std::max(1, w[c] - 8), 1000),
                                                  Qt::AlignCenter | Qt::TextWordWrap, title)
                                      .height());
    }
    // The titles wrap onto as many lines as the narrowest column needs.
    h->setMinimumHeight(height + 8);
}
