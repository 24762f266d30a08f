#include "graphs/windows/TfMakeGrafMK.h"

#include "graphs/windows/GraphDialogParts.h"

#include "graphs/GraphSettings.h"
#include "graphs/GraphSources.h"
#include "graphs/windows/TfColorG.h"
#include "graphs/windows/TfGraf.h"
#include "graphs/windows/TfSet_Gr.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarn::graphs {

QDate firstGraphDate() {
    return QDate(2005, 1, 1);
}
QDate lastGraphDate() {
    return QDate(2030, 1, 1);
}

TfMakeGrafMK::TfMakeGrafMK(Input input, Notifier& notifier, QWidget* parent)
    : QDialog(parent), in_(std::move(input)), notifier_(notifier) {
    setObjectName(QStringLiteral("TfMakeGrafMK"));
    setWindowTitle(QStringLiteral("Графики корректора"));
    if (in_.storage) points_ = database::Registry(in_.root, *in_.storage).all();

    auto* layout = new QVBoxLayout(this);
    auto* navigator = new QHBoxLayout;
    auto* first = new QPushButton(QStringLiteral("|<"), this);
    auto* previous = new QPushButton(QStringLiteral("<"), this);
    auto* next = new QPushButton(QStringLiteral(">"), this);
    auto* last = new QPushButton(QStringLiteral(">|"), this);
    for (QPushButton* b : {first, previous, next, last}) {
        b->setAutoDefault(false);
        b->setMaximumWidth(36);
        navigator->addWidget(b);
    }
    pointLabel_ = new QLabel(this);
    navigator->addWidget(pointLabel_, 1);
    layout->addLayout(navigator);
    auto step = [this](int to) {
        if (points_.isEmpty()) return;
        current_ = std::clamp(to, 0, static_cast<int>(points_.size()) - 1);
        showPoint();
    };
    connect(first, &QPushButton::clicked, this, [step] { step(0); });
    connect(previous, &QPushButton::clicked, this, [this, step] { step(current_ - 1); });
    connect(next, &QPushButton::clicked, this, [this, step] { step(current_ + 1); });
    connect(last, &QPushButton::clicked, this, [this, step] { step(static_cast<int>(points_.size()) - 1); });

    auto* period = new QGridLayout;
    auto dateEdit = [this] {
        auto* e = new QDateEdit(QDate::currentDate(), this);
        e->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        e->setDateRange(firstGraphDate(), lastGraphDate());
        e->setCalendarPopup(true);
        e->installEventFilter(this);
        return e;
    };
    auto timeEdit = [this] {
        auto* e = new QTimeEdit(QTime(0, 0), this);
        e->setDisplayFormat(QStringLiteral("HH:mm"));
        e->installEventFilter(this);
        return e;
    };
    beginDate_ = dateEdit();
    beginTime_ = timeEdit();
    endDate_ = dateEdit();
    endTime_ = timeEdit();
    endTime_->setTime(QTime(23, 0));
    period->addWidget(beginDate_, 0, 0);
    period->addWidget(beginTime_, 0, 1);
    period->addWidget(endDate_, 1, 0);
    period->addWidget(endTime_, 1, 1);
    layout->addLayout(period);

    auto* archiveBox = new QGroupBox(QStringLiteral("Выбираемый архив"), this);
    auto* archiveLayout = new QVBoxLayout(archiveBox);
    archive_ = new QComboBox(archiveBox);
    for (int k = 1; k <= kGraphArchives; ++k)
        archive_->addItem(graphArchiveChoice(static_cast<GraphArchive>(k)), k);
    archiveLayout->addWidget(archive_);
    layout->addWidget(archiveBox);

    auto* parameterBox = new QGroupBox(QStringLiteral("Выбираемый параметр"), this);
    auto* parameterLayout = new QVBoxLayout(parameterBox);
    parameters_ = new QListWidget(parameterBox);
    parameters_->setContextMenuPolicy(Qt::CustomContextMenu);
    parameters_->installEventFilter(this);
    parameterLayout->addWidget(parameters_);
    layout->addWidget(parameterBox, 1);
    connect(parameters_, &QWidget::customContextMenuRequested, this, [this] {
        TfColorG colours(in_.root, this);
        colours.exec();
    });
    connect(archive_, &QComboBox::currentIndexChanged, this, &TfMakeGrafMK::fillParameters);

    auto* buttons = new QHBoxLayout;
    auto* viewButton = new QPushButton(QStringLiteral("Просмотр"), this);
    auto* exit = new QPushButton(QStringLiteral("Выход"), this);
    auto* settings = new QPushButton(QStringLiteral("Настройка..."), this);
    for (QPushButton* b : {viewButton, exit, settings}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(viewButton, &QPushButton::clicked, this, &TfMakeGrafMK::view);
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
    setArchive(in_.archive);
    fillParameters();
    if (!selectPoint(in_.identifier) && !points_.isEmpty()) {
        current_ = 0;
        showPoint();
    } else if (points_.isEmpty()) {
        showPoint();
    }
}

bool TfMakeGrafMK::selectPoint(const QString& identifier) {
    for (qsizetype i = 0; i < points_.size(); ++i)
        if (points_.at(i).identifier == identifier) {
            current_ = static_cast<int>(i);
            showPoint();
            return true;
        }
    return false;
}

const database::Point* TfMakeGrafMK::point() const {
    return current_ >= 0 && current_ < points_.size() ? &points_.at(current_) : nullptr;
}

void TfMakeGrafMK::showPoint() {
    const database::Point* p = point();
    pointLabel_->setText(p ? p->model + QStringLiteral(" сер.№ ") + p->serial +
                                 QStringLiteral(" организация ") + p->organisation
                           : QString());
}

void TfMakeGrafMK::setArchive(GraphArchive archive) {
    archive_->setCurrentIndex(static_cast<int>(archive) - 1);
}

GraphArchive TfMakeGrafMK::archive() const {
    return graphArchiveOf(archive_->currentIndex() + 1).value_or(GraphArchive::Hourly);
}

void TfMakeGrafMK::fillParameters() {
    parameters_->clear();
    for (const GraphParameter& p : graphParameters(archive())) {
        auto* item = new QListWidgetItem(QString::fromUtf8(p.name), parameters_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void TfMakeGrafMK::tick(const QList<int>& indices) {
    tickParameters(parameters_, indices);
}

QList<int> TfMakeGrafMK::ticked() const {
    return tickedParameters(parameters_);
}

PeriodFields TfMakeGrafMK::period() const {
    return {beginDate_, beginTime_, endDate_, endTime_};
}

void TfMakeGrafMK::setPeriod(const QDateTime& begin, const QDateTime& end) {
    period().set(begin, end);
}

QDateTime TfMakeGrafMK::begin() const {
    return period().begin();
}

QDateTime TfMakeGrafMK::end() const {
    return period().end();
}

bool TfMakeGrafMK::view() {
    PointGraphRequest request;
    request.archive = archive();
    request.ticked = ticked();
    request.begin = begin();
    request.end = end();
    request.language = in_.language;
    if (request.archive != GraphArchive::FlowClasses && request.ticked.isEmpty()) {
        notifier_.message(MessageKind::Warning, QString::fromUtf8(kNothingTicked));
        return false;
    }
    const GraphColours colours = loadGraphColours(in_.root);
    const database::Point none;
    PointSelection selection;
    if (in_.storage)
        selection = selectPointRecords(*in_.storage, point() ? *point() : none, request);
    else
        selection.refusal = QString::fromUtf8(kNoData);
    if (!selection.refusal.isEmpty()) {
        notifier_.message(MessageKind::Error, selection.refusal);
        return false;
    }
    TfGraf::Input graph;
    graph.root = in_.root;
    graph.language = in_.language;
    graph.build = [records = std::move(selection.records), request, colours](
                      const GraphStyle& style, const GraphPicture* absolute, const KeepGoing& keepGoing) {
        return buildPointGraph(records, request, style, colours, absolute, keepGoing);
    };
    TfGraf window(std::move(graph), notifier_, this);
    if (in_.runGraph)
        in_.runGraph(window);
    else
        window.exec();
    return true;
}

void TfMakeGrafMK::done(int result) {
    saveGraphPeriod(in_.root, begin(), end());
    QDialog::done(result);
}

bool TfMakeGrafMK::eventFilter(QObject* watched, QEvent* event) {
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
