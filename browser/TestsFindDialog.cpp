#include "TestsFindDialog.h"

#include "Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

TestsFindDialog::TestsFindDialog(QTableView& grid, Dialogs& dialogs)
    : QDialog(&grid, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      grid_(grid), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frFind"));
    setWindowTitle(QStringLiteral("Поиск"));
    setModal(true);

    edPattern = new QLineEdit;
    edPattern->setObjectName(QStringLiteral("edPattern"));
    cbColumn = new QComboBox;
    cbColumn->setObjectName(QStringLiteral("cbColumn"));
    const QAbstractItemModel* model = grid.model();
    for (int c = 0; c < model->columnCount(); ++c)
        cbColumn->addItem(model->headerData(c, Qt::Horizontal).toString());
    cbColumn->setCurrentIndex(std::max(0, grid.currentIndex().column()));
    cbMatch = new QComboBox;
    cbMatch->setObjectName(QStringLiteral("cbMatch"));
    cbMatch->addItems({QStringLiteral("С любой части поля"), QStringLiteral("Поля целиком"),
                       QStringLiteral("С начала поля")});

    auto* form = new QFormLayout;
    auto addRow = [form](const QString& caption, QWidget* field) {
        auto* l = new QLabel(caption);
        l->setBuddy(field);
        form->addRow(l, field);
    };
    addRow(QStringLiteral("&Образец:"), edPattern);
    addRow(QStringLiteral("&Поиск в:"), cbColumn);
    addRow(QStringLiteral("&Совпадение:"), cbMatch);

    auto* direction = new QGroupBox(QStringLiteral("Прос&мотр:"));
    rbUp = new QRadioButton(QStringLiteral("Вверх"));
    rbDown = new QRadioButton(QStringLiteral("Вниз"));
    rbAll = new QRadioButton(QStringLiteral("Все"));
    rbAll->setChecked(true);
    auto* directions = new QHBoxLayout(direction);
    directions->addWidget(rbUp);
    directions->addWidget(rbDown);
    directions->addWidget(rbAll);

    cbCase = new QCheckBox(QStringLiteral("С учетом ре&гистра"));
    cbFormat = new QCheckBox(QStringLiteral("С у&четом формата"));

    btFindNext = new QPushButton(QStringLiteral("На&йти далее"));
    btFindNext->setObjectName(QStringLiteral("btFindNext"));
    btFindNext->setDefault(true);
    btFindNext->setEnabled(false);
    btClose = new QPushButton(QStringLiteral("Закрыть"));
    btClose->setObjectName(QStringLiteral("btClose"));
    connect(edPattern, &QLineEdit::textChanged, this,
            [this](const QString& text) { btFindNext->setEnabled(!text.isEmpty()); });
    connect(btFindNext, &QPushButton::clicked, this, &TestsFindDialog::findNext);
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btFindNext);
    buttons->addWidget(btClose);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(direction);
    top->addWidget(cbCase);
    top->addWidget(cbFormat);
    top->addLayout(buttons);
}

TestsFindDialog::Options TestsFindDialog::options() const {
    Options o;
    o.pattern = edPattern->text();
    o.column = cbColumn->currentIndex();
    o.match = static_cast<Match>(cbMatch->currentIndex());
    o.direction = rbUp->isChecked() ? Direction::Up : rbDown->isChecked() ? Direction::Down : Direction::All;
    o.caseSensitive = cbCase->isChecked();
    o.useFormat = cbFormat->isChecked();
    return o;
}

static QString plainText(const QVariant& v) {
    // Date-times compare as day.month.year hours:minutes:seconds, the way they are typed.
    if (v.metaType() == QMetaType::fromType<QDateTime>())
        return v.toDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    return v.toString();
}

int TestsFindDialog::findRow(const QAbstractItemModel& model, int from, const Options& o) {
    const int rows = model.rowCount();
    if (o.pattern.isEmpty() || rows == 0 || o.column < 0 || o.column >= model.columnCount())
        return -1;
    const Qt::CaseSensitivity cs = o.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    auto matches = [&](int row) {
        const QModelIndex i = model.index(row, o.column);
        const QString text =
            o.useFormat ? model.data(i, Qt::DisplayRole).toString() : plainText(model.data(i, Qt::EditRole));
        switch (o.match) {
        case Match::Whole:
            return text.compare(o.pattern, cs) == 0;
        case Match::Start:
            return text.startsWith(o.pattern, cs);
        case Match::AnyPart:
            break;
        }
        return text.contains(o.pattern, cs);
    };
    switch (o.direction) {
    case Direction::Down:
        for (int r = std::max(from + 1, 0); r < rows; ++r)
            if (matches(r))
                return r;
        return -1;
    case Direction::Up:
        for (int r = std::min(from, rows) - 1; r >= 0; --r)
            if (matches(r))
                return r;
        return -1;
    case Direction::All:
        break;
    }
    for (int k = 1; k <= rows; ++k) {
        const int r = ((from + k) % rows + rows) % rows;
        if (matches(r))
            return r;
    }
    return -1;
}

bool TestsFindDialog::findNext() {
    const Options o = options();
    const int row = findRow(*grid_.model(), grid_.currentIndex().row(), o);
    if (row < 0) {
        dialogs_.message(this, {Dialogs::Icon::Information, QStringLiteral("Поиск"),
                                QStringLiteral("Образец «%1» не найден.").arg(o.pattern), Dialogs::Ok});
        return false;
    }
    grid_.setCurrentIndex(grid_.model()->index(row, o.column));
    return true;
}
