#include "polling/windows/TfGroupSummary.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarn::polling {

namespace {

QTableWidget* table(const QStringList& headings, QWidget* parent) {
    auto* t = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    t->setHorizontalHeaderLabels(headings);
    t->verticalHeader()->setVisible(false);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return t;
}

void fill(QTableWidget* t, const QList<QStringList>& rows) {
    t->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size() && c < t->columnCount(); ++c) {
            QTableWidgetItem* item = t->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                t->setItem(r, c, item);
            }
            item->setText(rows.at(r).at(c));
        }
}

} // namespace

TfGroupSummary::TfGroupSummary(const DataRoot& root, database::Storage& storage, Notifier& notifier,
                               int languageIndex, QWidget* parent)
    : TfGroupSummary(root, GroupSummary(root, storage, notifier, languageIndex), parent) {}

TfGroupSummary::TfGroupSummary(const DataRoot& root, const database::GroupFiles& groups,
                               database::Storage& storage, Notifier& notifier, int languageIndex,
                               QWidget* parent)
    : TfGroupSummary(root, GroupSummary(root, groups, storage, notifier, languageIndex), parent) {}

TfGroupSummary::TfGroupSummary(const DataRoot& root, GroupSummary summary, QWidget* parent)
    : QDialog(parent), root_(root), summary_(std::move(summary)) {
    setObjectName(QStringLiteral("TfGroupSummary"));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* period = new QFormLayout;
    begin_ = new QLineEdit(this);
    end_ = new QLineEdit(this);
    begin_->setReadOnly(true);
    end_->setReadOnly(true);
    period->addRow(QStringLiteral("начало"), begin_);
    period->addRow(QStringLiteral("конец"), end_);
    top->addLayout(period);
    auto* choices = new QVBoxLayout;
    whole_ = new QRadioButton(QStringLiteral("общая таблица"), this);
    breakdown_ = new QRadioButton(QStringLiteral("разбивка по корректорам"), this);
    dayTotals_ = new QCheckBox(QStringLiteral("итоги за сутки"), this);
    whole_->setChecked(true);
    choices->addWidget(whole_);
    choices->addWidget(breakdown_);
    choices->addWidget(dayTotals_);
    top->addLayout(choices);
    top->addStretch(1);
    layout->addLayout(top);
    gauge_ = new QProgressBar(this);
    gauge_->setRange(0, 1);
    gauge_->setValue(0);
    layout->addWidget(gauge_);
    connect(whole_, &QRadioButton::toggled, this, &TfGroupSummary::showChoices);

    split_ = new QSplitter(Qt::Vertical, this);
    tabs_ = new QTabWidget(split_);
    intervals_ = table(intervalHeadings(), tabs_);
    tabs_->addTab(intervals_, QStringLiteral("группа"));
    statuses_ = table(memberStatusHeadings(), split_);
    totals_ = table(memberTotalHeadings(), split_);
    split_->addWidget(tabs_);
    split_->addWidget(statuses_);
    split_->addWidget(totals_);
    layout->addWidget(split_, 1);

    auto* buttons = new QHBoxLayout;
    continue_ = new QPushButton(QStringLiteral("ПРОДОЛЖИТЬ"), this);
    cancel_ = new QPushButton(QStringLiteral("ОТМЕНА"), this);
    continue_->setVisible(false);
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(continue_, &QPushButton::clicked, this, [this] {
        keepPanelSizes();
        accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &TfGroupSummary::reject);

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TfGroupSummary::tick);
    const SummaryPanelSizes sizes = loadSummaryPanelSizes(root_);
    split_->setSizes({400, sizes.statusHeight, sizes.totalsHeight});
    resize(1000, 750);
}

QString TfGroupSummary::open(const SummaryRequest& request) {
    const QString refused = summary_.open(request);
    if (!refused.isEmpty()) return refused;
    reportCaller_ = request.caller == SummaryCaller::Report;
    setWindowTitle(summary_.title());
    begin_->setText(summary_.periodBegin());
    end_->setText(summary_.periodEnd());
    gauge_->setRange(0, std::max(1, summary_.memberCount()));
    gauge_->setValue(0);
    // The members' own tables on tabs of their own, numbered.
    while (tabs_->count() > 1)
        tabs_->removeTab(1);
    qDeleteAll(memberTables_);
    memberTables_.clear();
    const bool ownTables = request.memberTables && reportCaller_;
    for (int i = 0; ownTables && i < kMemberTables; ++i) {
        QTableWidget* t = table(intervalHeadings(), tabs_);
        memberTables_.append(t);
        tabs_->addTab(t, QString::number(i + 1));
    }
    // The summary table of the group goes to the CSV file with its day lines.
    if (ownTables) dayTotals_->setChecked(true);
    whole_->setVisible(reportCaller_ && !ownTables);
    breakdown_->setVisible(reportCaller_ && !ownTables);
    dayTotals_->setVisible(reportCaller_);
    continue_->setVisible(false);
    showChoices();
    showTables();
    return {};
}

void TfGroupSummary::start() {
    timer_.start(stepIntervalMs);
}

void TfGroupSummary::reject() {
    // "ОТМЕНА" or Esc: nothing more is selected.
    timer_.stop();
    summary_.cancel();
    keepPanelSizes();
    QDialog::reject();
}

GroupReportForm TfGroupSummary::form() const {
    if (!memberTables_.isEmpty()) return GroupReportForm::Matrix;
    return breakdown_->isChecked() ? GroupReportForm::Breakdown : GroupReportForm::WholeGroup;
}

bool TfGroupSummary::dayTotals() const {
    return dayTotals_->isChecked() && form() != GroupReportForm::Breakdown;
}

void TfGroupSummary::showChoices() {
    // The day lines belong to the whole-group table (and the matrix).
    dayTotals_->setEnabled(form() != GroupReportForm::Breakdown);
}

void TfGroupSummary::tick() {
    const bool more = summary_.step();
    gauge_->setValue(summary_.membersDone());
    showTables();
    if (more) {
        timer_.start(stepIntervalMs);
        return;
    }
    // A member without its parameter file stops the selection: what was gathered stays in view.
    continue_->setVisible(summary_.finished() && summary_.failure().isEmpty());
}

void TfGroupSummary::showTables() {
    QList<QStringList> rows;
    for (const IntervalRow& r : summary_.intervals())
        rows.append(r.cells(summary_.hourly()));
    fill(intervals_, rows);
    rows.clear();
    for (const MemberStatus& s : summary_.statuses())
        rows.append(s.cells());
    fill(statuses_, rows);
    rows.clear();
    for (const MemberTotal& t : summary_.totals())
        rows.append(t.cells());
    fill(totals_, rows);
    for (int i = 0; i < memberTables_.size(); ++i)
        fill(memberTables_.at(i), summary_.memberTables().value(i));
}

void TfGroupSummary::keepPanelSizes() {
    const QList<int> sizes = split_->sizes();
    SummaryPanelSizes kept;
    if (sizes.value(1) > 0) kept.statusHeight = sizes.value(1);
    if (sizes.value(2) > 0) kept.totalsHeight = sizes.value(2);
    saveSummaryPanelSizes(root_, kept);
}

} // namespace tarn::polling
