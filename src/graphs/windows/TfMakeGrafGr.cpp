#include "graphs/windows/TfMakeGrafGr.h"

#include "graphs/windows/GraphDialogParts.h"

#include "graphs/GraphSettings.h"
#include "graphs/GraphSources.h"
#include "graphs/windows/TfGraf.h"
#include "graphs/windows/TfMakeGrafMK.h"
#include "graphs/windows/TfSet_Gr.h"
#include "polling/Groups.h"
#include "polling/windows/TfGroupSummary.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarn::graphs {

TfMakeGrafGr::TfMakeGrafGr(Input input, Notifier& notifier, QWidget* parent)
    : QDialog(parent), in_(std::move(input)), notifier_(notifier) {
    setObjectName(QStringLiteral("TfMakeGrafGr"));
    setWindowTitle(QStringLiteral("Графики группы"));
    auto* layout = new QVBoxLayout(this);
    group_ = new QComboBox(this);
    group_->setEditable(true);
    for (const polling::GroupEntry& e : polling::loadGroupList(groupFiles()))
        group_->addItem(e.name.trimmed());
    layout->addWidget(group_);

    auto* period = new QGridLayout;
    auto dateEdit = [this] {
        auto* e = new QDateEdit(QDate::currentDate(), this);
        e->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        e->setDateRange(firstGraphDate(), lastGraphDate());
        e->setCalendarPopup(true);
        e->installEventFilter(this);
        return e;
    };
    auto timeEdit = [this](const QTime& t) {
        auto* e = new QTimeEdit(t, this);
        e->setDisplayFormat(QStringLiteral("HH:mm"));
        e->installEventFilter(this);
        return e;
    };
    beginDate_ = dateEdit();
    beginTime_ = timeEdit(QTime(0, 0));
    endDate_ = dateEdit();
    endTime_ = timeEdit(QTime(23, 0));
    period->addWidget(beginDate_, 0, 0);
    period->addWidget(beginTime_, 0, 1);
    period->addWidget(endDate_, 1, 0);
    period->addWidget(endTime_, 1, 1);
    layout->addLayout(period);

    auto* archiveBox = new QGroupBox(this);
    auto* archiveLayout = new QHBoxLayout(archiveBox);
    hourly_ = new QRadioButton(graphArchiveChoice(GraphArchive::Hourly), archiveBox);
    daily_ = new QRadioButton(graphArchiveChoice(GraphArchive::Daily), archiveBox);
    archiveLayout->addWidget(hourly_);
    archiveLayout->addWidget(daily_);
    daily_->setChecked(true);
    layout->addWidget(archiveBox);

    parameters_ = new QListWidget(this);
    for (const GroupParameter& p : groupParameters()) {
        auto* item = new QListWidgetItem(QString::fromUtf8(p.name), parameters_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    parameters_->installEventFilter(this);
    layout->addWidget(parameters_, 1);

    auto* buttons = new QHBoxLayout;
    auto* viewButton = new QPushButton(QStringLiteral("Просмотр"), this);
    auto* exit = new QPushButton(QStringLiteral("Выход"), this);
    auto* settings = new QPushButton(QStringLiteral("Настройка"), this);
    for (QPushButton* b : {viewButton, exit, settings}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(viewButton, &QPushButton::clicked, this, &TfMakeGrafGr::view);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    connect(settings, &QPushButton::clicked, this, [this] {
        TfSet_Gr style(in_.root, this);
        style.exec();
    });

    const GraphPeriod stored = loadGraphPeriod(in_.root);
    if (stored.beginDate) beginDate_->setDate(*stored.beginDate);
    if (stored.beginTime) beginTime_->setTime(*stored.beginTime);
    if (stored.endDate) endDate_->setDate(*stored.endDate);
    if (stored.endTime) endTime_->setTime(*stored.endTime);
    setGroup(in_.groupName);
}

void TfMakeGrafGr::setGroup(const QString& name) {
    group_->setCurrentText(name.trimmed());
}

QString TfMakeGrafGr::group() const {
    return group_->currentText().trimmed();
}

void TfMakeGrafGr::setHourly(bool hourly) {
    (hourly ? hourly_ : daily_)->setChecked(true);
}

void TfMakeGrafGr::tick(const QList<int>& indices) {
    tickParameters(parameters_, indices);
}

QList<int> TfMakeGrafGr::ticked() const {
    return tickedParameters(parameters_);
}

PeriodFields TfMakeGrafGr::period() const {
    return {beginDate_, beginTime_, endDate_, endTime_};
}

void TfMakeGrafGr::setPeriod(const QDateTime& begin, const QDateTime& end) {
    period().set(begin, end);
}

QDateTime TfMakeGrafGr::begin() const {
    return period().begin();
}

QDateTime TfMakeGrafGr::end() const {
    return period().end();
}

bool TfMakeGrafGr::view() {
    const QList<int> parameters = ticked();
    const QString refusal = checkGroupRequest(group(), parameters);
    if (!refusal.isEmpty()) {
        notifier_.message(MessageKind::Warning, refusal);
        return false;
    }
    if (!in_.storage) return false;
    polling::SummaryRequest request;
    request.groupName = group();
    request.archive = hourly_->isChecked() ? polling::SummaryArchive::Hourly : polling::SummaryArchive::Daily;
    request.from = begin();
    request.to = end();
    request.caller = polling::SummaryCaller::Graph;
    polling::TfGroupSummary summary(in_.root, groupFiles(), *in_.storage, notifier_, in_.language, this);
    const QString refused = summary.open(request);
    if (!refused.isEmpty()) {
        notifier_.message(MessageKind::Error, refused);
        return false;
    }
    summary.start();
    const bool handedOn = in_.runSummary ? in_.runSummary(summary) : summary.exec() == QDialog::Accepted;
    if (!handedOn || !summary.summary().finished()) return false;

    const GraphColours colours = loadGraphColours(in_.root);
    TfGraf::Input graph;
    graph.root = in_.root;
    graph.language = in_.language;
    const polling::GroupSummary& tables = summary.summary();
    graph.build = [&tables, parameters, colours](const GraphStyle& style, const GraphPicture*,
                                                 const KeepGoing& keepGoing) {
        return buildGroupGraph(tables, parameters, style, colours, keepGoing);
    };
    TfGraf window(std::move(graph), notifier_, this);
    if (in_.runGraph)
        in_.runGraph(window);
    else
        window.exec();
    return true;
}

void TfMakeGrafGr::done(int result) {
    saveGraphPeriod(in_.root, begin(), end());
    QDialog::done(result);
}

bool TfMakeGrafGr::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            view();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tarn::graphs
