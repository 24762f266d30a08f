#include "reports/windows/TPrint_ku.h"

#include "common/Language.h"
#include "common/OutputFiles.h"
#include "common/TextFile.h"
#include "corrector/CorrectorFiles.h"
#include "polling/windows/GroupListingRun.h"
#include "reports/AlarmCodes.h"
#include "reports/Paginator.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportHeaders.h"
#include "reports/print/ReportPrinter.h"
#include "reports/windows/TPagePrint.h"
#include "reports/windows/TWaitPr.h"
#include "reports/windows/TfCSV.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarn::reports {

namespace {

QRadioButton* radio(const QString& caption, QWidget* parent, QLayout* layout) {
    auto* b = new QRadioButton(caption, parent);
    layout->addWidget(b);
    return b;
}

QCheckBox* box(const QString& caption, QWidget* parent, QLayout* layout) {
    auto* b = new QCheckBox(caption, parent);
    layout->addWidget(b);
    return b;
}

} // namespace

TPrint_ku::TPrint_ku(Input input, Notifier& notifier, QWidget* parent)
    : QDialog(parent), in_(std::move(input)),
      noDatabase_(in_.storage ? nullptr : std::make_unique<database::SqliteStorage>(in_.root, noLayouts_)),
      service_(in_.root, in_.storage ? *in_.storage : *noDatabase_), notifier_(notifier) {
    setObjectName(QStringLiteral("TPrint_ku"));
    setWindowTitle(uaRu(in_.language, "ЗВІТ", "ОТЧЕТ"));
    page_ = loadPageSettings(in_.root, in_.language);
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    QMenu* printMenu = bar->addMenu(uaRu(in_.language, "ДРУК", "ПЕЧАТЬ"));
    connect(printMenu->addAction(uaRu(in_.language, "НАЛАШТУВАННЯ ДРУКУ", "НАСТРОЙКА ПЕЧАТИ")),
            &QAction::triggered, this, &TPrint_ku::choosePrinter);
    connect(printMenu->addAction(uaRu(in_.language, "УСТАНОВКИ ЗВІТІВ ...", "УСТАНОВКИ ОТЧЕТОВ ...")),
            &QAction::triggered, this, &TPrint_ku::openPageSettings);
    connect(printMenu->addAction(uaRu(in_.language, "ПЕРЕГЛЯД З УСТАНОВКАМИ", "ПРОСМОТР С УСТАНОВКАМИ")),
            &QAction::triggered, this, &TPrint_ku::showPages);
    connect(printMenu->addAction(uaRu(in_.language, "ДРУК", "ПЕЧАТЬ")), &QAction::triggered, this,
            &TPrint_ku::print);
    connect(bar->addAction(uaRu(in_.language, "ПЕРЕГЛЯД", "ПРОСМОТР")), &QAction::triggered, this,
            &TPrint_ku::buildAndShow);
    csv_ = bar->addAction(QStringLiteral("ФАЙЛ \"*.csv\""));
    connect(csv_, &QAction::triggered, this, &TPrint_ku::exportCsv);
    if (in_.databaseOnly && in_.openPointGraph && in_.openGroupGraph) {
        QMenu* graph = bar->addMenu(QStringLiteral("ГРАФИК"));
        connect(graph->addAction(QStringLiteral("КОРРЕКТОР")), &QAction::triggered, this,
                [this] { in_.openPointGraph(in_.identifier, this); });
        connect(graph->addAction(QStringLiteral("ГРУППА")), &QAction::triggered, this,
                [this] { in_.openGroupGraph(groupName_->currentText(), this); });
    }
    columns_ = bar->addAction(uaRu(in_.language, "СТАТ. ДАНІ", "СТАТ. ДАННЫЕ"));
    connect(columns_, &QAction::triggered, this, &TPrint_ku::chooseColumns);
    QMenu* help = bar->addMenu(uaRu(in_.language, "ДОВІДКА", "СПРАВКА"));
    connect(help->addAction(uaRu(in_.language, "КОДИ АВАРІЙНИХ СИТУАЦІЙ", "КОДЫ ВНЕШТАТНЫХ СИТУАЦИЙ")),
            &QAction::triggered, this, &TPrint_ku::showCodeList);
    enlarge_ = bar->addAction(uaRu(in_.language, "ЗБІЛЬШИТИ ВІКНО", "УВЕЛИЧИТЬ ОКНО"));
    connect(enlarge_, &QAction::triggered, this, [this] {
        panels_->setVisible(!panels_->isVisible());
        enlarge_->setText(panels_->isVisible() ? uaRu(in_.language, "ЗБІЛЬШИТИ ВІКНО", "УВЕЛИЧИТЬ ОКНО")
                                               : uaRu(in_.language, "Зменшити вікно", "УМЕНЬШИТЬ ОКНО"));
    });
    connect(bar->addAction(uaRu(in_.language, "ВИХІД", "ВЫХОД")), &QAction::triggered, this, &QDialog::close);

    panels_ = new QWidget(this);
    auto* grid = new QGridLayout(panels_);
    auto* periodBox = new QGroupBox(panels_);
    auto* periodLayout = new QVBoxLayout(periodBox);
    month_ = radio(QStringLiteral("Месяц"), periodBox, periodLayout);
    day_ = radio(QStringLiteral("Сутки"), periodBox, periodLayout);
    range_ = radio(QStringLiteral("Период"), periodBox, periodLayout);
    params_ = radio(QStringLiteral("Пр.пар"), periodBox, periodLayout);
    auto* contentBox = new QGroupBox(panels_);
    auto* contentLayout = new QVBoxLayout(contentBox);
    all_ = radio(QStringLiteral("Общий отчет"), contentBox, contentLayout);
    data_ = radio(QStringLiteral("Данные отчета"), contentBox, contentLayout);
    interventions_ = radio(QStringLiteral("Вмешательства"), contentBox, contentLayout);
    alarms_ = radio(QStringLiteral("Аварии"), contentBox, contentLayout);
    auto* optionBox = new QGroupBox(panels_);
    auto* optionLayout = new QVBoxLayout(optionBox);
    parameters_ = box(QStringLiteral("Параметры"), optionBox, optionLayout);
    codes_ = box(QStringLiteral("Коды НШС"), optionBox, optionLayout);
    shortAlarms_ = box(QStringLiteral("Кратк.НШС"), optionBox, optionLayout);
    heat_ = box(QStringLiteral("Тепл.энерг"), optionBox, optionLayout);
    computeTotals_ = box(QStringLiteral("расч.Vобщ.стд.Vсч."), optionBox, optionLayout);
    database_ = box(QStringLiteral("БД"), optionBox, optionLayout);
    auto* dateBox = new QGroupBox(panels_);
    auto* dateLayout = new QGridLayout(dateBox);
    begin_ = new QDateEdit(dateBox);
    end_ = new QDateEdit(dateBox);
    beginTime_ = new QTimeEdit(dateBox);
    endTime_ = new QTimeEdit(dateBox);
    for (QDateEdit* d : {begin_, end_}) {
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setCalendarPopup(true);
    }
    for (QTimeEdit* e : {beginTime_, endTime_})
        e->setDisplayFormat(QStringLiteral("HH:mm"));
    dateLayout->addWidget(begin_, 0, 0);
    dateLayout->addWidget(beginTime_, 0, 1);
    dateLayout->addWidget(end_, 1, 0);
    dateLayout->addWidget(endTime_, 1, 1);
    grid->addWidget(periodBox, 0, 0);
    grid->addWidget(contentBox, 0, 1);
    grid->addWidget(optionBox, 0, 2);
    grid->addWidget(dateBox, 0, 3);
    // Database work: the commercial report or a statistical listing, and the listing's archive.
    databaseChoices_ = new QGroupBox(panels_);
    auto* choices = new QVBoxLayout(databaseChoices_);
    kindReport_ = radio(QStringLiteral("Отчет"), databaseChoices_, choices);
    kindStatistical_ = radio(QStringLiteral("Стат.дан."), databaseChoices_, choices);
    kindList_ = radio(QStringLiteral("Перечень"), databaseChoices_, choices);
    kindPoll_ = radio(QStringLiteral("Опрос"), databaseChoices_, choices);
    auto* archiveBox = new QGroupBox(panels_);
    auto* archiveLayout = new QVBoxLayout(archiveBox);
    static constexpr const char* kArchiveCaptions[] = {"Суточн.арх.", "Часов.арх.", "Авар.арх. ",
                                                       "Опер.арх.",   "Спец.арх.",  "Мгновен."};
    for (std::size_t a = 0; a < archives_.size(); ++a)
        archives_[a] = radio(QString::fromUtf8(kArchiveCaptions[a]), archiveBox, archiveLayout);
    choices->addWidget(archiveBox);
    grid->addWidget(databaseChoices_, 0, 4);
    kindReport_->setChecked(true);
    archives_[0]->setChecked(true);
    // "Перечень" and "Опрос": the object, the detail of a list, the choices of the protocol and the
    // registry filters of "Коррект".
    protocolChoices_ = new QGroupBox(panels_);
    auto* protocolLayout = new QHBoxLayout(protocolChoices_);
    auto* objectBox = new QGroupBox(protocolChoices_);
    auto* objectLayout = new QVBoxLayout(objectBox);
    objectPoints_ = radio(QStringLiteral("Коррект"), objectBox, objectLayout);
    objectGroup_ = radio(QStringLiteral("Группа"), objectBox, objectLayout);
    objectGas_ = radio(QStringLiteral("Газ"), objectBox, objectLayout);
    groupName_ = new QComboBox(objectBox);
    for (const polling::GroupEntry& g : polling::loadGroupList(groupFiles()))
        groupName_->addItem(g.name.trimmed());
    objectLayout->addWidget(groupName_);
    protocolLayout->addWidget(objectBox);
    auto* detailBox = new QGroupBox(protocolChoices_);
    auto* detailLayout = new QVBoxLayout(detailBox);
    detailShort_ = radio(QStringLiteral("Краткий"), detailBox, detailLayout);
    detailFull_ = radio(QStringLiteral("Полный"), detailBox, detailLayout);
    protocolLayout->addWidget(detailBox);
    pollChoices_ = new QGroupBox(protocolChoices_);
    auto* pollLayout = new QVBoxLayout(pollChoices_);
    pollRuns_ = radio(QString(), pollChoices_, pollLayout);
    pollConnections_ = radio(QString(), pollChoices_, pollLayout);
    pollWindow_ = box(QStringLiteral("Дата"), pollChoices_, pollLayout);
    pollTypeOn_ = box(QStringLiteral("тип опроса"), pollChoices_, pollLayout);
    pollType_ = new QComboBox(pollChoices_);
    pollType_->addItems({QStringLiteral("модем БД"), QStringLiteral("кабель БД"), QStringLiteral("ДТУ"),
                         QStringLiteral("файл"), QStringLiteral("кабель")});
    pollLayout->addWidget(pollType_);
    protocolLayout->addWidget(pollChoices_);
    auto* filterBoxes = new QGroupBox(protocolChoices_);
    auto* filterLayout = new QGridLayout(filterBoxes);
    static constexpr const char* kFilterCaptions[] = {"тип кор.", "сер.№", "орган.",
                                                      "тел.орг.", "влад.", "тел.кор."};
    for (int f = 0; f < polling::kPointFilters; ++f) {
        filterOn_[f] = new QCheckBox(QString::fromUtf8(kFilterCaptions[f]), filterBoxes);
        filterText_[f] = new QLineEdit(filterBoxes);
        filterLayout->addWidget(filterOn_[f], f % 3, (f / 3) * 2);
        filterLayout->addWidget(filterText_[f], f % 3, (f / 3) * 2 + 1);
    }
    navigator_ = new QComboBox(filterBoxes);
    navigator_->setObjectName(QStringLiteral("navigator"));
    filterLayout->addWidget(navigator_, 3, 0, 1, 4);
    for (int f = 0; f < polling::kPointFilters; ++f) {
        connect(filterOn_[f], &QCheckBox::toggled, this, &TPrint_ku::refreshNavigator);
        connect(filterText_[f], &QLineEdit::textEdited, this, &TPrint_ku::refreshNavigator);
    }
    connect(navigator_, &QComboBox::activated, this, &TPrint_ku::choosePoint);
    protocolLayout->addWidget(filterBoxes, 1);
    grid->addWidget(protocolChoices_, 1, 0, 1, 5);
    // A group's statistical listing: its alarm archive as a table or record by record, and the summary
    // table of the group (the CSV file's member matrix).
    groupChoices_ = new QGroupBox(panels_);
    auto* groupLayout = new QVBoxLayout(groupChoices_);
    alarmTable_ = radio(QStringLiteral("Таблица"), groupChoices_, groupLayout);
    alarmRecords_ = radio(QStringLiteral("Отдельн. запись"), groupChoices_, groupLayout);
    groupMatrix_ = box(QStringLiteral("сводная таблица группы"), groupChoices_, groupLayout);
    alarmTable_->setChecked(true);
    grid->addWidget(groupChoices_, 0, 5);
    objectPoints_->setChecked(true);
    detailFull_->setChecked(true);
    pollRuns_->setChecked(true);
    for (QRadioButton* b :
         {kindReport_, kindStatistical_, kindList_, kindPoll_, objectPoints_, objectGroup_, objectGas_})
        connect(b, &QRadioButton::toggled, this, &TPrint_ku::showDatabaseChoices);
    connect(pollWindow_, &QCheckBox::toggled, this, &TPrint_ku::showDatabaseChoices);
    for (QRadioButton* b : archives_)
        connect(b, &QRadioButton::toggled, this, &TPrint_ku::showDatabaseChoices);
    layout->addWidget(panels_);

    viewer_ = new QPlainTextEdit(this);
    viewer_->setReadOnly(true);
    viewer_->setLineWrapMode(QPlainTextEdit::NoWrap);
    viewer_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewer_->viewport()->installEventFilter(this);
    layout->addWidget(viewer_, 1);

    // The database is the source when the window is opened for it; from the corrector it is not offered.
    database_->setChecked(in_.databaseOnly);
    database_->setEnabled(false);
    database_->setVisible(in_.databaseOnly);
    loadOptions();
    databaseChoices_->setVisible(in_.databaseOnly);
    showDatabaseChoices();
    refreshNavigator();
    resize(1000, 700);
}

TPrint_ku::~TPrint_ku() = default;

void TPrint_ku::loadOptions() {
    // "Месяц" first, then what the file says.
    month_->setChecked(true);
    all_->setChecked(true);
    parameters_->setChecked(true);
    stored_ = loadReportWindowOptions(in_.root);
    begin_->setDate(stored_.beginDate);
    beginTime_->setTime(stored_.beginTime);
    end_->setDate(stored_.endDate);
    endTime_->setTime(stored_.endTime);
    if (stored_.periodKind == 2) range_->setChecked(true);
    if (stored_.periodKind == 3) day_->setChecked(true);
    if (stored_.periodKind == 4) params_->setChecked(true);
    shortAlarms_->setChecked(stored_.shortAlarms);
    computeTotals_->setChecked(stored_.computeTotals);
    // The archive's number in the file is the listing's own.
    if (in_.databaseOnly) {
        setStatistical(stored_.databaseKind == 2, static_cast<ListingArchive>(stored_.archive));
        (stored_.detail == 1 ? detailShort_ : detailFull_)->setChecked(true);
        if (stored_.databaseKind == 3 || stored_.databaseKind == 4)
            setProtocolKind(stored_.databaseKind, stored_.object);
        if (stored_.databaseKind == 2) setGroupObject(stored_.object == 2);
        groupMatrix_->setChecked(stored_.groupSummary);
    }
}

void TPrint_ku::setProtocolKind(int kind, int object) {
    (kind == 4 ? kindPoll_ : kindList_)->setChecked(true);
    (object == 2 ? objectGroup_ : object == 3 && kind == 3 ? objectGas_ : objectPoints_)->setChecked(true);
    showDatabaseChoices();
}

int TPrint_ku::databaseKind() const {
    return kindStatistical_->isChecked() ? 2 : kindList_->isChecked() ? 3 : kindPoll_->isChecked() ? 4 : 1;
}

int TPrint_ku::protocolObject() const {
    return objectGroup_->isChecked() ? 2 : objectGas_->isChecked() ? 3 : 1;
}

polling::PollProtocolOptions TPrint_ku::pollOptions() const {
    polling::PollProtocolOptions o;
    o.object = protocolObject() == 2 ? polling::ProtocolObject::Group : polling::ProtocolObject::Points;
    o.languageIndex = in_.language;
    for (int f = 0; f < polling::kPointFilters; ++f)
        if (filterOn_[f]->isChecked())
            o.filters.set(static_cast<polling::PointFilter>(f), filterText_[f]->text());
    o.currentPoint = in_.identifier;
    o.group = groupName_->currentText();
    o.connections = pollConnections_->isChecked();
    o.window = pollWindow_->isChecked();
    o.from = QDateTime(begin_->date(), beginTime_->time());
    o.to = QDateTime(end_->date(), endTime_->time());
    if (!o.connections && pollTypeOn_->isChecked()) o.pollType = pollType_->currentText();
    return o;
}

polling::PointListOptions TPrint_ku::listOptions() const {
    polling::PointListOptions o;
    const int object = protocolObject();
    o.object = object == 2   ? polling::ProtocolObject::Group
               : object == 3 ? polling::ProtocolObject::Gas
                             : polling::ProtocolObject::Points;
    o.languageIndex = in_.language;
    for (int f = 0; f < polling::kPointFilters; ++f)
        if (filterOn_[f]->isChecked())
            o.filters.set(static_cast<polling::PointFilter>(f), filterText_[f]->text());
    o.group = groupName_->currentText();
    o.full = detailFull_->isChecked();
    return o;
}

void TPrint_ku::setStatistical(bool on, ListingArchive archive) {
    (on ? kindStatistical_ : kindReport_)->setChecked(true);
    archives_[static_cast<std::size_t>(archive) - 1]->setChecked(true);
    showDatabaseChoices();
}

bool TPrint_ku::statistical() const {
    return in_.databaseOnly && kindStatistical_->isChecked();
}

ListingArchive TPrint_ku::listingArchive() const {
    for (std::size_t a = 0; a < archives_.size(); ++a)
        if (archives_[a]->isChecked()) return static_cast<ListingArchive>(a + 1);
    return ListingArchive::Daily;
}

void TPrint_ku::showDatabaseChoices() {
    const ListingArchive a = listingArchive();
    // The CSV copy is offered for the listings of days, hours, operative records and measurements.
    csv_->setVisible(statistical() && (a == ListingArchive::Daily || a == ListingArchive::Hourly ||
                                       a == ListingArchive::Operative || a == ListingArchive::Measurement));
    columns_->setVisible(in_.databaseOnly);
    const bool poll = in_.databaseOnly && kindPoll_->isChecked();
    const bool list = in_.databaseOnly && kindList_->isChecked();
    const bool stat = statistical();
    protocolChoices_->setVisible(poll || list || stat);
    pollChoices_->setVisible(poll);
    detailShort_->parentWidget()->setVisible(list);
    // The filters choose the points of a protocol or list; for a report or a listing of one point they
    // fill the navigator, whose current point the report is made for.
    const bool onePoint = in_.databaseOnly && !poll && !list && objectPoints_->isChecked();
    filterOn_[0]->parentWidget()->setVisible(poll || list || onePoint);
    protocolChoices_->setVisible(poll || list || stat || onePoint);
    navigator_->setVisible(onePoint);
    // The protocol has no gas object; a statistical listing is of the point or of a group.
    objectGas_->setVisible(!poll && !stat);
    if ((poll || stat) && objectGas_->isChecked()) objectPoints_->setChecked(true);
    groupChoices_->setVisible(stat && objectGroup_->isChecked());
    alarmTable_->setVisible(a == ListingArchive::Alarm);
    alarmRecords_->setVisible(a == ListingArchive::Alarm);
    groupMatrix_->setVisible(a == ListingArchive::Hourly || a == ListingArchive::Daily);
    groupName_->setEnabled(objectGroup_->isChecked());
    const bool window = pollWindow_->isChecked();
    pollRuns_->setText(window ? QStringLiteral("Опрос за время...") : QStringLiteral("Последний опрос"));
    pollConnections_->setText(window ? QStringLiteral("Cоед.\"модем БД\" за время...")
                                     : QStringLiteral("Последнее соед.\"модем БД\""));
}

void TPrint_ku::storeOptions() const {
    ReportWindowOptions o = stored_;
    o.beginDate = begin_->date();
    o.beginTime = beginTime_->time();
    o.endDate = end_->date();
    o.endTime = endTime_->time();
    o.database = database_->isChecked();
    o.periodKind = range_->isChecked() ? 2 : day_->isChecked() ? 3 : params_->isChecked() ? 4 : 1;
    o.shortAlarms = shortAlarms_->isChecked();
    o.computeTotals = computeTotals_->isChecked();
    if (in_.databaseOnly) {
        o.databaseKind = databaseKind();
        o.archive = static_cast<int>(listingArchive());
        o.object = protocolObject();
        o.detail = detailFull_->isChecked() ? 2 : 1;
        o.groupSummary = groupMatrix_->isChecked();
    }
    saveReportWindowOptions(in_.root, o);
}

ReportOptions TPrint_ku::options() const {
    ReportOptions o;
    o.period = range_->isChecked() ? ReportPeriod::Range
               : day_->isChecked() ? ReportPeriod::Day
                                   : ReportPeriod::Month;
    o.content = data_->isChecked()            ? ReportContent::Data
                : interventions_->isChecked() ? ReportContent::Interventions
                : alarms_->isChecked()        ? ReportContent::Alarms
                                              : ReportContent::All;
    o.begin = begin_->date();
    o.end = end_->date();
    o.parameters = parameters_->isChecked();
    o.codes = codes_->isChecked();
    o.shortAlarms = shortAlarms_->isChecked();
    o.heat = heat_->isChecked();
    o.computeTotals = computeTotals_->isChecked();
    o.hourlyCalculation = hourlyCalculation_;
    o.ukrainian = in_.language != kRussian;
    return o;
}

void TPrint_ku::setOptions(const ReportOptions& o) {
    (o.period == ReportPeriod::Range ? range_
     : o.period == ReportPeriod::Day ? day_
                                     : month_)
        ->setChecked(true);
    (o.content == ReportContent::Data            ? data_
     : o.content == ReportContent::Interventions ? interventions_
     : o.content == ReportContent::Alarms        ? alarms_
                                                 : all_)
        ->setChecked(true);
    begin_->setDate(o.begin);
    end_->setDate(o.end.isValid() ? o.end : o.begin);
    parameters_->setChecked(o.parameters);
    codes_->setChecked(o.codes);
    shortAlarms_->setChecked(o.shortAlarms);
    heat_->setChecked(o.heat);
    computeTotals_->setChecked(o.computeTotals);
    hourlyCalculation_ = o.hourlyCalculation;
}

void TPrint_ku::setParameterPrintout(bool on) {
    (on ? params_ : month_)->setChecked(true);
}

bool TPrint_ku::buildParameterPrintout(QStringList& lines) {
    ParameterPrintoutOptions o;
    o.languageIndex = in_.language;
    o.beginDate = begin_->text();
    o.now = QDateTime::currentDateTime();
    ParameterPrintout printout;
    if (database_->isChecked()) {
        // The point's parameter file, and the newest intervention its tables keep.
        if (in_.identifier.isEmpty()) {
            notifier_.message(MessageKind::Error,
                              uaRu(in_.language, "НЕ ВИЗНАЧЕНИЙ КОРЕКТОР", "НЕ ОПРЕДЕЛЕН КОРРЕКТОР"));
            return false;
        }
        o.newestStoredIntervention = in_.source()->newestInterventionTime();
        printout =
            printPointParameters(in_.root, in_.identifier, in_.header.model, in_.header.serial, o, notifier_);
    } else {
        if (!in_.corrector || !in_.corrector->hasSerial()) {
            notifier_.message(MessageKind::Error, corrector::noDataText(in_.language));
            return false;
        }
        printout = printParameters(*in_.corrector, o);
    }
    if (!printout.ok) {
        if (!printout.message.isEmpty()) notifier_.message(MessageKind::Warning, printout.message);
        return false;
    }
    // A begin date that does not read stops the printout where it stands; what it has is shown.
    if (!printout.message.isEmpty()) notifier_.message(MessageKind::Error, printout.message);
    lines = printout.lines;
    return true;
}

void TPrint_ku::refreshNavigator() {
    if (!in_.databaseOnly) return;
    polling::PointFilters filters;
    for (int f = 0; f < polling::kPointFilters; ++f)
        if (filterOn_[f]->isChecked())
            filters.set(static_cast<polling::PointFilter>(f), filterText_[f]->text());
    const QList<database::Point> points = service_.points(filters.search());
    const QSignalBlocker quiet(navigator_);
    navigator_->clear();
    for (const database::Point& p : points)
        navigator_->addItem(p.model.trimmed() + QStringLiteral(" N") + p.serial.trimmed() +
                                QStringLiteral("  ") + p.organisation.trimmed(),
                            p.identifier);
    const int current = navigator_->findData(in_.identifier);
    // The point in hand stays the report's while it passes the filters; otherwise the first one found.
    if (current >= 0) {
        navigator_->setCurrentIndex(current);
    } else if (!points.isEmpty()) {
        navigator_->setCurrentIndex(0);
        choosePoint(0);
    }
}

void TPrint_ku::choosePoint(int row) {
    const QString id = navigator_->itemData(row).toString();
    if (id.isEmpty() || id == in_.identifier) return;
    const database::PointLookup point = service_.point(id);
    if (!point) return;
    in_.identifier = id;
    in_.header = headerFromPoint(*point, in_.header.volumeDecimals);
    in_.source = [service = service_, id] { return service.storedSource(id); };
}

bool TPrint_ku::buildProtocol(QStringList& lines) {
    const database::Schemas& schemas = service_.schemas();
    if (!schemas.ok) {
        notifier_.message(MessageKind::Error, schemas.error);
        return false;
    }
    const bool poll = kindPoll_->isChecked();
    polling::PollProtocolOptions pollWith = pollOptions();
    polling::PointListOptions listWith = listOptions();
    if (poll && pollWith.window && pollWith.from > pollWith.to) {
        notifier_.message(MessageKind::Error,
                          uaRu(in_.language, "ПОМИЛКА! ПОЧАТОК > КІНЦЯ", "ОШИБКА!!! НАЧАЛО > КОНЦА"));
        return false;
    }
    TWaitPr wait(in_.language, this);
    polling::ProtocolText text;
    wait.runModal([&](const std::function<bool()>& stop) {
        pollWith.stop = stop;
        listWith.stop = stop;
        pollWith.groups = &groupFiles();
        listWith.groups = &groupFiles();
        text = poll ? polling::pollProtocol(in_.root, service_.storage(), pollWith)
                    : polling::pointList(in_.root, service_.storage(), listWith);
    });
    if (!text.ready) {
        notifier_.message(MessageKind::Warning, text.message);
        return false;
    }
    const polling::ProtocolOptions& common = poll ? static_cast<const polling::ProtocolOptions&>(pollWith)
                                                  : static_cast<const polling::ProtocolOptions&>(listWith);
    std::optional<database::Point> current;
    if (common.object == polling::ProtocolObject::Points && !in_.identifier.isEmpty())
        current = service_.point(in_.identifier);
    lines = QStringList{polling::protocolTitleLine(poll, common, current ? &*current : nullptr,
                                                   QDateTime::currentDateTime())} +
            text.lines;
    return true;
}

void TPrint_ku::setGroupObject(bool on) {
    (on ? objectGroup_ : objectPoints_)->setChecked(true);
    showDatabaseChoices();
}

bool TPrint_ku::groupListing() const {
    return statistical() && objectGroup_->isChecked();
}

bool TPrint_ku::buildGroupListing(QStringList& lines) {
    polling::GroupListingRequest r;
    r.root = in_.root;
    r.storage = &service_.storage();
    r.groups = in_.groups;
    r.languageIndex = in_.language;
    r.groupName = groupName_->currentText();
    r.archive = listingArchive();
    r.period = options().period;
    r.begin = QDateTime(begin_->date(), beginTime_->time());
    r.end = QDateTime(end_->date(), endTime_->time());
    r.matrix = groupMatrix_->isChecked();
    r.columns = loadStatColumns(in_.root);
    r.csvDelimiter = service_.csvDelimiter();
    r.now = QDateTime::currentDateTime();
    r.summaryShown = in_.groupSummaryShown;
    r.maskShown = in_.alarmMaskShown;
    const bool summaryForms = r.archive == ListingArchive::Hourly || r.archive == ListingArchive::Daily ||
                              (r.archive == ListingArchive::Alarm && alarmTable_->isChecked());
    if (!summaryForms) return buildMembersListing(r, lines);
    const polling::GroupListingResult result = r.archive == ListingArchive::Alarm
                                                   ? polling::runGroupAlarmTable(r, notifier_, this)
                                                   : polling::runGroupStatListing(r, notifier_, this);
    if (!result.ok) return false;
    lines = result.lines;
    groupCsv_ = result.csv;
    listing_ = {};
    return true;
}

// The group's operative, service and instantaneous records, or its alarm archive record by record: each
// member as the point's listing prints it, then the group's "Итог:".
bool TPrint_ku::buildMembersListing(const polling::GroupListingRequest& r, QStringList& lines) {
    if (r.groupName.trimmed().isEmpty()) {
        notifier_.message(MessageKind::Error,
                          uaRu(in_.language, "Не вибрано групу!!!", "Не выбрана группа!!!"));
        return false;
    }
    ListingOptions l;
    l.archive = r.archive;
    l.period = r.period;
    l.begin = r.begin.date();
    l.end = r.end.date();
    l.ukrainian = in_.language != kRussian;
    if (l.archive == ListingArchive::Alarm)
        l.unclosedDays = notifier_.confirm(uaRu(in_.language, "Аварії по не закритій добі друкувати?",
                                                "Аварии по не закрытым суткам печатать?"));
    const database::Schemas& schemas = service_.schemas();
    if (!schemas.ok) {
        notifier_.message(MessageKind::Error, schemas.error);
        return false;
    }
    TWaitPr wait(in_.language, this);
    Notifier& fromWorker = wait.run().ownerNotifier(notifier_);
    polling::GroupMembersListing built;
    wait.runModal([&](const std::function<bool()>& stop) {
        built = polling::groupMembersListing(in_.root, groupFiles(), service_.storage(), fromWorker,
                                             in_.language, r.groupName, l, r.now, stop);
    });
    if (built.stopped) return false;
    if (!built.listing.error.isEmpty()) {
        notifier_.message(MessageKind::Error, built.listing.error);
        return false;
    }
    listing_ = built.listing;
    groupCsv_.clear();
    lines = listing_.text();
    return true;
}

bool TPrint_ku::build() {
    const ReportOptions o = options();
    QStringList lines;
    printed_ = in_.header;
    if (params_->isChecked()) {
        if (!buildParameterPrintout(lines)) return false;
    } else if (in_.databaseOnly && (kindList_->isChecked() || kindPoll_->isChecked())) {
        if (!buildProtocol(lines)) return false;
    } else if (groupListing()) {
        if (!buildGroupListing(lines)) return false;
    } else if (statistical()) {
        if (const auto missing = missingParameterFile(in_.root, in_.identifier, in_.header.model.trimmed(),
                                                      in_.header.serial.trimmed())) {
            notifier_.message(MessageKind::Warning, *missing);
            return false;
        }
        ListingOptions l;
        l.archive = listingArchive();
        l.period = o.period;
        l.begin = o.begin;
        l.end = o.end;
        l.columns = loadStatColumns(in_.root);
        l.ukrainian = o.ukrainian;
        if (l.archive == ListingArchive::Alarm)
            l.unclosedDays = notifier_.confirm(uaRu(in_.language, "Аварії по не закритій добі друкувати?",
                                                    "Аварии по не закрытым суткам печатать?"));
        TWaitPr wait(in_.language, this);
        const QDateTime now = QDateTime::currentDateTime();
        wait.runModal([&](const std::function<bool()>& stop) {
            // Made on the worker: a stored source opens its tables on the thread that reads them.
            const std::unique_ptr<ReportSource> source = in_.source();
            listing_ = buildPointListing(*source, in_.header, l, now, stop);
        });
        if (!listing_.error.isEmpty()) {
            notifier_.message(MessageKind::Error, listing_.error);
            return false;
        }
        lines = listing_.text();
    } else {
        ReportHeader header = in_.header;
        if (database_->isChecked()) {
            // A stored point: the meter, the contract load and the parameter block from its parameter file.
            const StoredPointHeader loaded =
                storedPointHeader(in_.root, in_.identifier, in_.header, in_.language, notifier_);
            if (!loaded.header) {
                if (!loaded.message.isEmpty()) notifier_.message(MessageKind::Warning, loaded.message);
                return false;
            }
            header = *loaded.header;
        }
        if (o.heat && !header.heatSupported &&
            !notifier_.confirm(
                uaRu(in_.language, "Версія коректора не підтримує режим обліку теплоенергії. Продовжити?",
                     "Версия корректора не поддерживает режим учета тепл.энергии. Продолжить?")))
            return false;
        const std::unique_ptr<ReportSource> source = in_.source();
        const ReportLines built = buildCommercialReport(*source, header, o, QDateTime::currentDateTime());
        if (!built.error.isEmpty()) {
            notifier_.message(MessageKind::Error, built.error);
            return false;
        }
        lines = built.lines;
        printed_ = header;
    }
    // The work file holds the report until the window closes.
    const QString workFile = QDir(in_.root.root()).filePath(QString::fromLatin1(kWorkFileName));
    if (!writeTextLines(workFile, lines)) {
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + workFile);
        return false;
    }
    work_ = lines;
    return true;
}

bool TPrint_ku::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewer_->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        saveViewer();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TPrint_ku::closeEvent(QCloseEvent* event) {
    storeOptions();
    // The page files and the work file go with the window.
    deleteReportFiles(in_.root.root());
    QDialog::closeEvent(event);
}

} // namespace tarn::reports
