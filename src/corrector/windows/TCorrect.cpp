#include "corrector/windows/TCorrect.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/windows/ArchiveTableModel.h"
#include "corrector/windows/CheckColour.h"
#include "corrector/windows/CorrectorFileMenu.h"
#include "corrector/windows/TInReadCor.h"
#include "corrector/windows/TItemWait.h"
#include "corrector/windows/TParolCr.h"
#include "corrector/windows/TfSelRead.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tarn::corrector {

namespace {

struct OperationItem {
    int code;
    const char* ua;
    const char* ru;
};

// The "RS-232" menu: operation codes of the operation start.
constexpr OperationItem kOperations[] = {
    {0, "ЧИТАТИ ВСЕ", "ЧИТАТЬ ВСЕ"},
    {1, "ВИБІРКОВЕ ЧИТАННЯ", "ВЫБОРОЧНОЕ ЧТЕНИЕ"},
    {2, "ПАРАМЕТРИ КОРЕКТОРА", "ПАРАМЕТРЫ КОРРЕКТОРА"},
    {3, "ГОДИННИЙ АРХІВ", "ЧАСОВОЙ АРХИВ"},
    {4, "ДОБОВИЙ АРХІВ", "СУТОЧНЫЙ АРХИВ"},
    {5, "МІСЯЧНИЙ АРХІВ", "МЕСЯЧНЫЙ АРХИВ"},
    {6, "АРХІВ ПОЗАШТАТНИХ СИТУАЦІЙ", "АРХИВ ВНЕШТАТНЫХ СИТУАЦИЙ"},
    {7, "АРХІВ  ВТРУЧАНЬ", "АРХИВ  ВМЕШАТЕЛЬСТВ"},
    {8, "ОПЕРАТИВНИЙ АРХІВ", "ОПЕРАТИВНЫЙ АРХИВ"},
    {9, "ГОДИННИК", "ЧАСЫ"},
    {10, "ВИМІРЮВАННЯ", "ИЗМЕРЕНИЕ"},
    {11, "Контроль сигналу зм. аварії", "Контроль сигнала изм. аварии"},
};
constexpr int kPollOperation = 12;
constexpr int kSelectiveOperation = 1;

// The unit buttons of the pressure panels, in the order of GaugeUnit and BaroUnit.
constexpr const char* kGaugeUnitCaptions[] = {"кг./см.кв", "см вод.ст.", "МПа"};
constexpr const char* kBaroUnitCaptions[] = {"кг./см.кв", "мм рт.ст.", "МПа"};

} // namespace

TCorrect::TCorrect(CorrectorWindowModel& model, link::LinkSettings& settings,
                   const link::SettingsFiles& files, Notifier& notifier, Hooks hooks, QWidget* parent)
    : QDialog(parent), model_(model), settings_(settings), files_(files), notifier_(notifier),
      hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("TCorrect"));
    const int lang = model.languageIndex();
    setWindowTitle(uaRu(lang, "КОРЕКТОР", "КОРРЕКТОР"));
    auto* layout = new QVBoxLayout(this);

    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    rsMenu_ = bar->addMenu(QStringLiteral("RS-232"));
    for (const OperationItem& op : kOperations) {
        QAction* a = rsMenu_->addAction(uaRu(lang, op.ua, op.ru));
        const int code = op.code;
        connect(a, &QAction::triggered, this, [this, code] { startOperation(code); });
    }
    modemMenu_ = bar->addMenu(uaRu(lang, "МОДЕМ", "МОДЕМ"));
    QAction* modemRead = modemMenu_->addAction(uaRu(lang, "ЧИТАТИ ВСЕ", "ЧИТАТЬ ВСЕ"));
    connect(modemRead, &QAction::triggered, this, [this] { startOperation(0); });
    modemDial_ = modemMenu_->addAction(uaRu(lang, "З'ЄДНАННЯ", "СОЕДИНЕНИЕ"));
    modemTerminal_ = modemMenu_->addAction(uaRu(lang, "ІНІЦІАЛІЗАЦІЯ", "ИНИЦИАЛИЗАЦИЯ"));
    modemDrop_ = bar->addAction(QStringLiteral("СБРОС МОД"));
    modemDrop_->setVisible(false);
    // The books that choose the corrector on the line: the modem's phone book, and the "АДРЕС" menu with the
    // address book's choice and its editor (the program opens their windows).
    phoneEditor_ = modemMenu_->addAction(uaRu(lang, "РЕДАКТОР ТЕЛЕФОНІВ", "РЕДАКТОР ТЕЛЕФОНОВ"));
    QMenu* addressMenu = bar->addMenu(uaRu(lang, "АДРЕСА", "АДРЕС"));
    addressChoice_ = addressMenu->addAction(uaRu(lang, "ВИБІР", "ВЫБОР"));
    addressEditor_ = addressMenu->addAction(uaRu(lang, "РЕДАКТОР АДРЕС", "РЕДАКТОР АДРЕСОВ"));
    // The transfer unit on the corrector port (its window is the program's).
    transferUnit_ = bar->addAction(QStringLiteral("ДТУ-1-16"));
    lpt_ = bar->addAction(uaRu(lang, "ЧИТАННЯ LPT", "ЧТЕНИЕ LPT"));
    lptTest_ = bar->addAction(QStringLiteral("ТЕСТ ДТУ-1"));
    password_ = bar->addAction(QStringLiteral("ПАРОЛЬ"));
    connect(password_, &QAction::triggered, this, &TCorrect::openPasswordWindow);
    // The menu is too long for one row at a usual window width: the rest goes into a second row, as a
    // narrow window's menu bar wraps, so that no item hides behind an overflow button.
    auto* secondRow = new QMenuBar(this);
    layout->addWidget(secondRow);
    menuRows_ = {bar, secondRow};
    bar = secondRow;
    readChoice_ = bar->addAction(uaRu(lang, "НАЛАШТУВАННЯ ПО КНОПЦІ ВСЕ", "УСТАНОВКИ ПО КНОПКЕ ВСЕ"));
    connect(readChoice_, &QAction::triggered, this, &TCorrect::openReadChoice);
    meterCoef_ = bar->addAction(QStringLiteral("Z-900"));
    calib_ = bar->addAction(QStringLiteral("ЗИБ"));
    programFromFile_ = bar->addAction(QStringLiteral("ЗАПИСЬ ПРОГРАММИРУЕМЫХ ПАРАМЕТРОВ"));
    programFromFile_->setVisible(false);
    // "ОТЛАДКА" (service level 5): the link debugger.
    QMenu* debugMenu = bar->addMenu(uaRu(lang, "НАЛАГОДЖЕННЯ", "ОТЛАДКА"));
    debugRs_ = debugMenu->addAction(QStringLiteral("RS-232"));
    debug_ = debugMenu->menuAction();
    debug_->setVisible(false);
    // "БД": the database window; hidden while the database cannot be used.
    database_ = bar->addAction(QStringLiteral("БД"));
    database_->setVisible(false);
    // A database package opened into the database; the program shows it with the database.
    openPackage_ = bar->addAction(uaRu(lang, "ВІДКРИТИ ФАЙЛ *.tbd", "ОТКРЫТЬ ФАЙЛ *.tbd"));
    openPackage_->setVisible(false);
    // The report of the archives just read.
    report_ = bar->addAction(uaRu(lang, "ЗВІТ", "ОТЧЕТ"));
    gaps_ = bar->addAction(uaRu(lang, "КОНТРОЛЬ ДІРОК", "КОНТРОЛЬ ДЫРОК"));
    connect(gaps_, &QAction::triggered, this, &TCorrect::writeGaps);
    QAction* exit = bar->addAction(uaRu(lang, "ВИХІД", "ВЫХОД"));
    connect(exit, &QAction::triggered, this, &QDialog::accept);
    fileMenu_ = new CorrectorFileMenu(menuRows_[0], model, notifier, this);

    // Header panel.
    auto* header = new QGroupBox(this);
    auto* headerForm = new QFormLayout(header);
    for (Field f : {Field::HeaderSerial, Field::ModelName, Field::MeterName, Field::Company, Field::Branch})
        addField(header, f);
    headerCaption_ = labels_[static_cast<int>(Field::HeaderSerial)];
    for (Field f : {Field::HeaderSerial, Field::ModelName, Field::MeterName, Field::Company, Field::Branch})
        headerForm->addRow(labels_[static_cast<int>(f)], edits_[static_cast<int>(f)]);
    layout->addWidget(header);
    // The no-link indicator.
    noLink_ = new QLabel(this);
    noLink_->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    noLink_->setVisible(false);
    layout->addWidget(noLink_);
    // The modem's connection, blinking while the call is up.
    modemLabel_ = new QLabel(this);
    modemLabel_->setStyleSheet(QStringLiteral("color: #006000; font-weight: bold;"));
    modemLabel_->setVisible(false);
    layout->addWidget(modemLabel_);
    blink_ = new QTimer(this);
    blink_->setInterval(500);
    connect(blink_, &QTimer::timeout, this, [this] {
        modemLabel_->setStyleSheet(modemLabel_->styleSheet().contains(QStringLiteral("#006000"))
                                       ? QStringLiteral("color: transparent; font-weight: bold;")
                                       : QStringLiteral("color: #006000; font-weight: bold;"));
    });

    tabs_ = new QTabWidget(this);
    std::array<QFormLayout*, kTabPages> forms{};
    for (int p = 0; p < kTabPages; ++p) {
        auto* page = new QWidget(tabs_);
        forms[p] = new QFormLayout(page);
        tabs_->addTab(page, PageCaption(p, lang));
    }
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldSpec& spec = fieldSpec(static_cast<Field>(i));
        if (spec.page < 0) continue;
        QWidget* page = tabs_->widget(spec.page);
        if (spec.field == Field::Thermometer) {
            labels_[i] = new QLabel(page);
            auto* box = new QWidget(page);
            auto* row = new QHBoxLayout(box);
            thermo1391_ = new QRadioButton(QStringLiteral("W100 = 1.391"), box);
            thermo1385_ = new QRadioButton(QStringLiteral("W100 = 1.385"), box);
            thermo1391_->setEnabled(false);
            thermo1385_->setEnabled(false);
            row->addWidget(thermo1391_);
            row->addWidget(thermo1385_);
            forms[spec.page]->addRow(labels_[i], box);
            continue;
        }
        if (spec.field == Field::GaugePressure || spec.field == Field::BaroPressure) {
            forms[spec.page]->addRow(labels_[i], addPressurePanel(page, spec.field));
            continue;
        }
        addField(page, spec.field);
        forms[spec.page]->addRow(labels_[i], edits_[i]);
    }
    auto* poll = new QPushButton(uaRu(lang, "Опитування", "Опрос"),
                                 tabs_->widget(static_cast<int>(Page::Measurement)));
    forms[static_cast<int>(Page::Measurement)]->addRow(poll);
    connect(poll, &QPushButton::clicked, this, [this] { startOperation(kPollOperation); });
    layout->addWidget(tabs_, 2);

    // The archive tables under the parameters, with their two tool buttons.
    auto* tools = new QHBoxLayout;
    auto* newest = new QToolButton(this);
    newest->setText(
        uaRu(lang, "Останній поточний запис\r\n(кл. F3)", "Последняя текущая запись\r\n(кл. F3)"));
    auto* enlarge = new QToolButton(this);
    enlarge->setText(uaRu(lang, "Збільшити вікно перегляду таблиці\r\n(кл. F4)",
                          "Увеличить окно просмотра таблицы\r\n(кл. F4)"));
    connect(newest, &QToolButton::clicked, this, &TCorrect::showNewestRecord);
    connect(enlarge, &QToolButton::clicked, this, &TCorrect::toggleTablesEnlarged);
    tools->addWidget(newest);
    tools->addWidget(enlarge);
    tools->addStretch();
    layout->addLayout(tools);
    archiveTabs_ = new QTabWidget(this);
    for (Archive a : kArchives) {
        auto* view = new QTableView(archiveTabs_);
        view->setModel(new ArchiveTableModel(model_, a, view));
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->verticalHeader()->setVisible(false);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->installEventFilter(this);
        archiveViews_[static_cast<int>(a) - 1] = view;
        archiveTabs_->addTab(view, archiveTableCaption(a, lang));
    }
    layout->addWidget(archiveTabs_, 3);

    wait_ = new TItemWait(this);
    connect(&model_, &CorrectorWindowModel::waitOpened, wait_, &TItemWait::start);
    connect(&model_, &CorrectorWindowModel::waitReplied, wait_, &TItemWait::replied);
    connect(&model_, &CorrectorWindowModel::changed, this, &TCorrect::refresh);
    applyChannelSettings(settings);
    refresh();
    setFirstSize();
}

// Wide enough for each menu row with every item shown (the program shows some later), tall enough for the
// parameters and eight rows of an archive table: the tables share the height with the parameter pages, so
// the window grows until the tables have theirs.
void TCorrect::setFirstSize() {
    int width = 900;
    for (QMenuBar* row : menuRows_) {
        QList<QAction*> hidden;
        for (QAction* a : row->actions())
            if (!a->isVisible()) hidden.append(a);
        for (QAction* a : hidden)
            a->setVisible(true);
        width = std::max(width, row->sizeHint().width());
        for (QAction* a : hidden)
            a->setVisible(false);
    }
    width += layout()->contentsMargins().left() + layout()->contentsMargins().right();
    const QTableView* view = archiveViews_[0];
    constexpr int kRowsShown = 8;
    const int tables =
        archiveTabs_->tabBar()->sizeHint().height() + view->horizontalHeader()->sizeHint().height() +
        kRowsShown * view->verticalHeader()->defaultSectionSize() + 2 * view->frameWidth() +
        view->horizontalScrollBar()->sizeHint().height() +
        2 * archiveTabs_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, archiveTabs_) + 4;
    resize(width, 680);
    for (int i = 0; i < 4; ++i) {
        layout()->invalidate();
        layout()->activate();
        const int shortfall = tables - archiveTabs_->height();
        if (shortfall <= 0) break;
        resize(width, height() + shortfall);
    }
}

QLineEdit* TCorrect::addField(QWidget* page, Field field) {
    const int i = static_cast<int>(field);
    labels_[i] = new QLabel(page);
    edits_[i] = new QLineEdit(page);
    edits_[i]->installEventFilter(this);
    return edits_[i];
}

// The field with its three unit buttons; the model shows the value in the unit chosen and converts what
// is typed back to kgf/cm².
QWidget* TCorrect::addPressurePanel(QWidget* page, Field field) {
    const bool gauge = field == Field::GaugePressure;
    auto* panel = new QWidget(page);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(addField(panel, field));
    auto* group = new QButtonGroup(panel);
    auto& buttons = gauge ? gaugeUnits_ : baroUnits_;
    for (int unit = 0; unit < 3; ++unit) {
        buttons[unit] = new QRadioButton(
            QString::fromUtf8(gauge ? kGaugeUnitCaptions[unit] : kBaroUnitCaptions[unit]), panel);
        group->addButton(buttons[unit], unit);
        row->addWidget(buttons[unit]);
    }
    connect(group, &QButtonGroup::idClicked, this, [this, gauge](int unit) {
        if (gauge)
            model_.setGaugeUnit(static_cast<GaugeUnit>(unit));
        else
            model_.setBaroUnit(static_cast<BaroUnit>(unit));
    });
    (gauge ? gaugePanel_ : baroPanel_) = panel;
    return panel;
}

void TCorrect::applyChannelSettings(const link::LinkSettings& settings) {
    rsMenu_->menuAction()->setVisible(!settings.rsOff);
    modemMenu_->menuAction()->setVisible(!settings.rsOff && settings.modemUsed);
    lpt_->setVisible(!settings.lptOff);
    lptTest_->setVisible(!settings.lptOff);
    transferUnit_->setVisible(!settings.usbOff);
}

void TCorrect::refresh() {
    for (int i = 0; i < kFieldCount; ++i) {
        const Field f = static_cast<Field>(i);
        const FieldView& v = model_.view(f);
        if (labels_[i]) {
            labels_[i]->setText(model_.caption(f));
            labels_[i]->setVisible(v.visible);
        }
        QLineEdit* e = edits_[i];
        if (!e) continue;
        QPalette palette = e->palette();
        if (!e->hasFocus() || e->text() != v.text) {
            e->setText(v.text);
            // A value from the corrector is shown in the window-text colour again.
            palette.setColor(QPalette::Text, checkColour(CheckResult::valueOk));
        }
        e->setVisible(v.visible);
        e->setReadOnly(!v.editable);
        palette.setColor(QPalette::Base, v.editable ? QGuiApplication::palette().color(QPalette::Base)
                                                    : QGuiApplication::palette().color(QPalette::Button));
        e->setPalette(palette);
    }
    if (thermo1385_) {
        thermo1385_->setChecked(model_.thermometerW1385());
        thermo1391_->setChecked(!model_.thermometerW1385());
    }
    const ModelProfile& profile = model_.reading().profile;
    meterCoef_->setVisible(profile.meterCoefModel);
    // "ЗИБ" stays until a reading shows a model without the calibration table; before that it tells the
    // user to read the parameters first.
    calib_->setVisible(!model_.hasSerial() || profile.hasCalibrationTable());
    gaugePanel_->setVisible(model_.view(Field::GaugePressure).visible);
    baroPanel_->setVisible(model_.view(Field::BaroPressure).visible);
    gaugeUnits_[static_cast<int>(model_.gaugeUnit())]->setChecked(true);
    baroUnits_[static_cast<int>(model_.baroUnit())]->setChecked(true);
}

void TCorrect::showCheck(QLineEdit* edit, CheckResult check) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, checkColour(check));
    edit->setPalette(palette);
}

bool TCorrect::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::KeyPress &&
        std::find(archiveViews_.begin(), archiveViews_.end(), watched) != archiveViews_.end()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_F3) {
            showNewestRecord();
            return true;
        }
        if (key == Qt::Key_F4) {
            toggleTablesEnlarged();
            return true;
        }
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return QDialog::eventFilter(watched, event);
    int index = -1;
    for (int i = 0; i < kFieldCount; ++i)
        if (edits_[i] == watched) index = i;
    if (index < 0) return QDialog::eventFilter(watched, event);
    const Field field = static_cast<Field>(index);
    QLineEdit* e = edits_[index];
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (type == QEvent::KeyPress) {
        if (key == Qt::Key_F5) {
            tabs_->setCurrentIndex(NextPage(tabs_->currentIndex()));
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            model_.onEnter(field, e->text());
            return true;
        }
        return QDialog::eventFilter(watched, event);
    }
    if (field == Field::Date || field == Field::Time) {
        const auto [date, time] = model_.onDateTimeKeyRelease(
            edit(Field::Date)->text(), edit(Field::Time)->text(), QDateTime::currentDateTime());
        if (edit(Field::Date)->text() != date) edit(Field::Date)->setText(date);
        if (edit(Field::Time)->text() != time) edit(Field::Time)->setText(time);
    } else if (field == Field::ContractHour) {
        const QString t = model_.onContractHourKeyRelease(e->text());
        if (t != e->text()) e->setText(t);
    }
    showCheck(e, model_.fieldCheck(field, e->text()));
    return QDialog::eventFilter(watched, event);
}

void TCorrect::startOperation(int code) {
    if (code == kSelectiveOperation) {
        openSelectiveRead();
        return;
    }
    if (hooks_.startOperation) hooks_.startOperation(code);
}

void TCorrect::openSelectiveRead() {
    TfSelRead dialog(model_.languageIndex(), QDateTime::currentDateTime(), this);
    if (dialog.exec() == QDialog::Accepted && hooks_.startSelectiveRead)
        hooks_.startSelectiveRead(dialog.days());
}

void TCorrect::openPasswordWindow() {
    TParolCr window(
        model_, [this] { startOperation(2); }, this);
    window.exec();
}

void TCorrect::openReadChoice() {
    TInReadCor dialog(settings_, files_, notifier_, model_.languageIndex(), this);
    dialog.exec();
}

void TCorrect::showNewestRecord() {
    const auto archive = static_cast<Archive>(archiveTabs_->currentIndex() + 1);
    const auto row = model_.newestRecordRow(archive);
    if (!row) return;
    QTableView* view = archiveView(archive);
    view->setCurrentIndex(view->model()->index(*row, 0));
    view->scrollTo(view->currentIndex());
}

void TCorrect::toggleTablesEnlarged() {
    enlarged_ = !enlarged_;
    tabs_->setVisible(!enlarged_);
}

void TCorrect::writeGaps() {
    const QString path = files_.root.file(folder::Current, QStringLiteral("ErrGr.000"));
    if (!writeTextLines(path, findGaps(model_.archives())))
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи ") + path);
}

void TCorrect::setNoLinkShown(bool shown, const QString& text) {
    noLink_->setText(text);
    noLink_->setVisible(shown);
}

QAction* TCorrect::debugAction() const {
    return debug_;
}

void TCorrect::showModemConnection(const QString& label) {
    modemLabel_->setText(label);
    modemLabel_->setVisible(!label.isEmpty());
    modemDrop_->setVisible(!label.isEmpty());
    if (label.isEmpty())
        blink_->stop();
    else
        blink_->start();
}

void TCorrect::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TCorrect::accept() {
    if (hooks_.mayLeave && !hooks_.mayLeave()) return;
    QDialog::accept();
}

void TCorrect::reject() {
    if (hooks_.mayLeave && !hooks_.mayLeave()) return;
    QDialog::reject();
}

} // namespace tarn::corrector
