#include "polling/windows/DayBoardPanel.h"

#include "common/LineColourInk.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace tarn::polling {

DayBoardPanel::DayBoardPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(QStringLiteral("Приборы дня"), this));
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(QStringLiteral("фильтр"));
    filter_->setClearButtonEnabled(true);
    failedOnly_ = new QCheckBox(QStringLiteral("только неуспешные"), this);
    retry_ = new QPushButton(QStringLiteral("опросить неуспешные"), this);
    tools->addWidget(filter_, 1);
    tools->addWidget(failedOnly_);
    tools->addWidget(retry_);
    layout->addLayout(tools);
    model_ = new QStandardItemModel(0, 7, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("Группа"), QStringLiteral("Прибор"),
                                       QStringLiteral("Идент."), QStringLiteral("Посл. опрос"),
                                       QStringLiteral("Итог"), QStringLiteral("След. окно"),
                                       QStringLiteral("Отставание")});
    view_ = new QTableView(this);
    view_->setModel(model_);
    view_->verticalHeader()->setVisible(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(view_, 1);
    connect(filter_, &QLineEdit::textChanged, this, &DayBoardPanel::showFiltered);
    connect(failedOnly_, &QCheckBox::toggled, this, &DayBoardPanel::showFiltered);
    connect(retry_, &QPushButton::clicked, this, &DayBoardPanel::retryRequested);
}

void DayBoardPanel::showRows(const QList<BoardRow>& rows) {
    rows_ = rows;
    showFiltered();
}

void DayBoardPanel::showFiltered() {
    const QString filter = filter_->text();
    const bool failedOnly = failedOnly_->isChecked();
    model_->setRowCount(0);
    for (const BoardRow& r : rows_) {
        if (!boardRowMatches(r, filter, failedOnly)) continue;
        QList<QStandardItem*> cells;
        for (const QString& text : {r.group, r.name.trimmed(), r.identifier, r.lastPoll, r.result,
                                    r.nextWindow, lagText(r.lagMinutes)})
            cells.append(new QStandardItem(text));
        const QColor ink = colourOf(resultColour(r));
        for (QStandardItem* c : cells)
            c->setForeground(ink);
        model_->appendRow(cells);
    }
}

} // namespace tarn::polling
