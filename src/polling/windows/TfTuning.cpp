#include "polling/windows/TfTuning.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tarn::polling {

namespace {

constexpr const char* kBoxTexts[] = {
    "всплывающие подсказки",
    "аварийное сообщение",
    "звук",
    "автозапуск программы",
    "аналоговые часы ",
    "контроль и восстановление таблиц БД",
    "запись опроса  в \"*.csv\"",
    "часовой архив",
    "суточный архив",
    "месячный архив",
    "оперативный архив",
    "мгновенный значения",
    "доп. контроль номера записи в БД и корректоре",
    "циклическая синхронизация БД",
};

} // namespace

TfTuning::TfTuning(const DataRoot& root, Notifier& notifier, AlarmSound& sound, bool synchronisedCopy,
                   AutostartEntry autostart, QWidget* parent)
    : QDialog(parent), root_(root), notifier_(notifier), sound_(sound), synchronisedCopy_(synchronisedCopy),
      autostart_(std::move(autostart)), loaded_(loadConsoleSettings(root)) {
    setObjectName(QStringLiteral("TfTuning"));
    setWindowTitle(QStringLiteral("Настройка"));
    for (std::size_t i = 0; i < std::size(kBoxTexts); ++i) {
        boxes_[i] = new QCheckBox(QString::fromUtf8(kBoxTexts[i]), this);
        boxes_[i]->installEventFilter(this);
    }
    auto* layout = new QVBoxLayout(this);
    for (Box b : {Box::ToolTips, Box::Alarm})
        layout->addWidget(box(b));

    soundPanel_ = new QGroupBox(QStringLiteral("выбор и контроль звука для аварийного  сигнала"), this);
    auto* soundLayout = new QHBoxLayout(soundPanel_);
    soundList_ = new QListWidget(soundPanel_);
    soundList_->setMaximumHeight(110);
    soundList_->addItems(soundFiles(root_));
    auto* soundButtons = new QVBoxLayout;
    play_ = new QPushButton(QStringLiteral("Старт"), soundPanel_);
    stop_ = new QPushButton(QStringLiteral("Стоп"), soundPanel_);
    soundButtons->addWidget(box(Box::Sound));
    soundButtons->addWidget(play_);
    soundButtons->addWidget(stop_);
    soundButtons->addStretch(1);
    soundLayout->addWidget(soundList_, 1);
    soundLayout->addLayout(soundButtons);
    layout->addWidget(soundPanel_);

    for (Box b : {Box::Autorun, Box::AnalogClock, Box::Rebuild, Box::ExtraRecordCheck, Box::Csv})
        layout->addWidget(box(b));
    csvPanel_ = new QGroupBox(QStringLiteral("Флаги записи в \"*.csv\""), this);
    auto* csvLayout = new QFormLayout(csvPanel_);
    for (Box b : {Box::CsvHourly, Box::CsvDaily, Box::CsvMonthly, Box::CsvOperative, Box::CsvMeasurement})
        csvLayout->addRow(box(b));
    delimiter_ = new QLineEdit(csvPanel_);
    delimiter_->setMaxLength(8);
    csvLayout->addRow(QStringLiteral("разделитель элементов списка"), delimiter_);
    layout->addWidget(csvPanel_);

    defaultSizes_ = new QPushButton(QStringLiteral("Установка размера полей по умолчанию"), this);
    layout->addWidget(defaultSizes_);

    cyclePanel_ = new QWidget(this);
    auto* cycleLayout = new QVBoxLayout(cyclePanel_);
    cycleLayout->setContentsMargins(0, 0, 0, 0);
    cycleLayout->addWidget(box(Box::ViewerCycle));
    cycleFields_ = new QWidget(cyclePanel_);
    auto* cycleForm = new QFormLayout(cycleFields_);
    startMinutes_ = new QSpinBox(cycleFields_);
    waitMinutes_ = new QSpinBox(cycleFields_);
    for (QSpinBox* s : {startMinutes_, waitMinutes_})
        s->setRange(0, 9999);
    startMinutes_->setToolTip(QStringLiteral("время до начала синхронизации БД"));
    cycleForm->addRow(QStringLiteral("время (мин.) до-\"Start.000\""), startMinutes_);
    cycleForm->addRow(QStringLiteral("время (мин.) до-\"Wait.000\""), waitMinutes_);
    cycleLayout->addWidget(cycleFields_);
    cyclePanel_->setVisible(synchronisedCopy_);
    layout->addWidget(cyclePanel_);

    auto* buttons = new QHBoxLayout;
    save_ = new QPushButton(QStringLiteral("Сохранить"), this);
    exit_ = new QPushButton(QStringLiteral("Выход"), this);
    // Enter belongs to the check boxes' rule, not to a default button.
    for (QPushButton* b : {play_, stop_, defaultSizes_, save_, exit_})
        b->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(exit_);
    layout->addLayout(buttons);

    const Tuning& t = loaded_.tuning;
    box(Box::ToolTips)->setChecked(t.toolTips);
    box(Box::Alarm)->setChecked(t.alarm);
    box(Box::Sound)->setChecked(t.sound);
    box(Box::Autorun)->setChecked(t.autorun);
    box(Box::AnalogClock)->setChecked(t.analogClock);
    box(Box::Rebuild)->setChecked(t.rebuildAtStart);
    box(Box::Csv)->setChecked(t.csv);
    for (int k = 0; k < 5; ++k)
        box(static_cast<Box>(static_cast<int>(Box::CsvHourly) + k))->setChecked(t.csvKinds[static_cast<std::size_t>(k)]);
    box(Box::ExtraRecordCheck)->setChecked(t.extraRecordCheck);
    delimiter_->setText(QString(loaded_.delimiter));
    const auto chosen = soundList_->findItems(t.soundFile, Qt::MatchFixedString);
    soundList_->setCurrentItem(chosen.isEmpty() ? soundList_->item(0) : chosen.first());
    box(Box::ViewerCycle)->setChecked(loaded_.cycle.on);
    startMinutes_->setValue(loaded_.cycle.startMinutes);
    waitMinutes_->setValue(loaded_.cycle.waitMinutes);

    connect(box(Box::Alarm), &QCheckBox::toggled, this, &TfTuning::showEnabling);
    connect(box(Box::Csv), &QCheckBox::toggled, this, &TfTuning::showEnabling);
    connect(box(Box::ViewerCycle), &QCheckBox::toggled, this, &TfTuning::showEnabling);
    connect(play_, &QPushButton::clicked, this, [this] {
        if (box(Box::Sound)->isChecked() && soundList_->currentItem())
            sound_.play(root_.file(folder::Sound, soundList_->currentItem()->text()));
    });
    connect(stop_, &QPushButton::clicked, this, [this] { sound_.stop(); });
    connect(defaultSizes_, &QPushButton::clicked, this, &TfTuning::defaultPanelSizes);
    connect(save_, &QPushButton::clicked, this, &TfTuning::save);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    // The sound test ends with the window.
    connect(this, &QDialog::finished, this, [this] { sound_.stop(); });
    showEnabling();
}

QCheckBox* TfTuning::box(Box b) const {
    return boxes_[static_cast<int>(b)];
}

void TfTuning::showEnabling() {
    soundPanel_->setEnabled(box(Box::Alarm)->isChecked());
    csvPanel_->setEnabled(box(Box::Csv)->isChecked());
    cycleFields_->setVisible(box(Box::ViewerCycle)->isChecked());
}

ConsoleSettings TfTuning::wanted() const {
    ConsoleSettings s = loaded_;
    Tuning& t = s.tuning;
    if (soundList_->currentItem()) t.soundFile = soundList_->currentItem()->text();
    t.toolTips = box(Box::ToolTips)->isChecked();
    t.alarm = box(Box::Alarm)->isChecked();
    t.sound = box(Box::Sound)->isChecked();
    t.autorun = box(Box::Autorun)->isChecked();
    t.analogClock = box(Box::AnalogClock)->isChecked();
    t.rebuildAtStart = box(Box::Rebuild)->isChecked();
    t.csv = box(Box::Csv)->isChecked();
    for (int k = 0; k < 5; ++k)
        t.csvKinds[static_cast<std::size_t>(k)] = box(static_cast<Box>(static_cast<int>(Box::CsvHourly) + k))->isChecked();
    t.extraRecordCheck = box(Box::ExtraRecordCheck)->isChecked();
    s.cycle.on = box(Box::ViewerCycle)->isChecked();
    s.cycle.startMinutes = startMinutes_->value();
    s.cycle.waitMinutes = waitMinutes_->value();
    return s;
}

bool TfTuning::store(SaveScope scope) {
    ConsoleSettings w = wanted();
    if (scope == SaveScope::All) {
        if (auto refusal = setConsoleSetting(root_, w, QStringLiteral("delimiter"), delimiter_->text(),
                                             synchronisedCopy_)) {
            notifier_.message(MessageKind::Error, *refusal);
            return false;
        }
    }
    const SaveOutcome out = saveConsoleSettings(root_, loaded_, w, scope, synchronisedCopy_, autostart_);
    if (out.error) {
        notifier_.message(MessageKind::Error, *out.error);
        return false;
    }
    if (scope == SaveScope::General) {
        // The delimiter and the cycle stay as the files hold them.
        w.delimiter = loaded_.delimiter;
        w.cycle = loaded_.cycle;
    }
    loaded_ = w;
    emit settingsSaved(w, out.cycleSaved);
    accept();
    return true;
}

bool TfTuning::save() {
    return store(SaveScope::All);
}

bool TfTuning::saveGeneral() {
    return store(SaveScope::General);
}

bool TfTuning::defaultPanelSizes() {
    if (!notifier_.confirm(QStringLiteral("Установить размеры полей по умолчанию?"))) return false;
    if (!resetPanelSizes(root_)) {
        notifier_.message(MessageKind::Error, QStringLiteral("ошибка удаления файла ") + panelSizesPath(root_));
        return false;
    }
    emit panelSizesReset();
    return true;
}

bool TfTuning::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && qobject_cast<QCheckBox*>(watched)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            saveGeneral();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tarn::polling
