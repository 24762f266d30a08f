#include "corrector/windows/TfPrPar.h"

#include "corrector/CorrectorFiles.h"
#include "corrector/windows/TCorrect.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::corrector {

namespace {

// The model names of the filter's list.
constexpr const char* kModelNames[] = {"КВОН-1.01", "КВОН-1.02Р", "КВОН-1.02РВ", "КВОН-2.01Р",
                                       "ТАРН-1.01", "ТАРН-1.02",  "ТАРН-2.01",   "ТАРН-2.02",
                                       "ЗИБ-1.01",  "ЗИБ-1.02",   "ЮСТА-1.01",   "ЮСТА-1.02"};

QString today() {
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
}
QString now() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

TfPrPar::TfPrPar(CorrectorWindowModel& data, link::ExchangeEngine& engine, OperationStart& gate,
                 Notifier& notifier, Options options, QWidget* parent)
    : QDialog(parent), data_(data), notifier_(notifier), options_(std::move(options)),
      program_(std::make_unique<ProgramFromFile>(data, engine, gate, notifier)) {
    program_->setLineHold(options_.lineHold);
    setObjectName(QStringLiteral("TfPrPar"));
    setWindowTitle(QStringLiteral("Программирование парам.  из ранее сохраненного файла"));
    auto* layout = new QVBoxLayout(this);

    auto* form = new QFormLayout;
    meterReading_ = new QLineEdit(this);
    totalVolume_ = new QLineEdit(this);
    password_ = new QLineEdit(QString::fromLatin1(kDefaultConfiguratorPassword), this);
    date_ = new QLineEdit(this);
    time_ = new QLineEdit(this);
    form->addRow(QStringLiteral("Показания счетчика"), meterReading_);
    form->addRow(QStringLiteral("Vстд.ОБЩИЙ(м.куб)"), totalVolume_);
    form->addRow(QStringLiteral("Пароль конфигуратора"), password_);
    form->addRow(QStringLiteral("Дата"), date_);
    form->addRow(QStringLiteral("Время"), time_);
    layout->addLayout(form);

    stepLabel_ = new QLabel(this);
    stepLabel_->setObjectName(QStringLiteral("stepLabel"));
    layout->addWidget(stepLabel_);

    auto* buttons = new QHBoxLayout;
    passwordButton_ = new QPushButton(QStringLiteral("Пароль"), this);
    writeButton_ = new QPushButton(QStringLiteral("Запись"), this);
    cancelButton_ = new QPushButton(QStringLiteral("Отмена"), this);
    writeButton_->setEnabled(false);
    for (QPushButton* b : {passwordButton_, writeButton_, cancelButton_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    // The registry panel: the current row's type and serial number, the navigator and the filter.
    registryPanel_ = new QGroupBox(this);
    auto* panel = new QVBoxLayout(registryPanel_);
    auto* row = new QHBoxLayout;
    rowType_ = new QLineEdit(registryPanel_);
    rowSerial_ = new QLineEdit(registryPanel_);
    rowType_->setReadOnly(true);
    rowSerial_->setReadOnly(true);
    row->addWidget(rowType_);
    row->addWidget(rowSerial_);
    const std::pair<const char*, std::function<int()>> moves[] = {
        {"|<", [] { return 0; }},
        {"<", [this] { return row_ - 1; }},
        {">", [this] { return row_ + 1; }},
        {">|", [this] { return static_cast<int>(rows_.size()) - 1; }},
    };
    for (const auto& [caption, target] : moves) {
        auto* b = new QPushButton(QString::fromLatin1(caption), registryPanel_);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, target = target] { moveTo(target()); });
        row->addWidget(b);
    }
    panel->addLayout(row);
    auto* filter = new QHBoxLayout;
    typeBox_ = new QCheckBox(QStringLiteral("тип кор."), registryPanel_);
    typeList_ = new QComboBox(registryPanel_);
    typeList_->setEditable(true);
    for (const char* name : kModelNames)
        typeList_->addItem(QString::fromUtf8(name));
    typeList_->setCurrentIndex(-1);
    serialBox_ = new QCheckBox(QStringLiteral("сер.№"), registryPanel_);
    serialEdit_ = new QLineEdit(registryPanel_);
    for (QWidget* w : std::initializer_list<QWidget*>{typeBox_, typeList_, serialBox_, serialEdit_})
        filter->addWidget(w);
    panel->addLayout(filter);
    registryPanel_->setVisible(false);
    layout->addWidget(registryPanel_);

    connect(typeBox_, &QCheckBox::toggled, this, &TfPrPar::applyFilter);
    connect(serialBox_, &QCheckBox::toggled, this, &TfPrPar::applyFilter);
    connect(typeList_, &QComboBox::currentTextChanged, this, &TfPrPar::applyFilter);
    connect(serialEdit_, &QLineEdit::textEdited, this, &TfPrPar::applyFilter);

    program_->fields = [this] {
        return ProgramFields{meterReading_->text(), totalVolume_->text(), date_->text(), time_->text()};
    };
    connect(program_.get(), &ProgramFromFile::changed, this, &TfPrPar::refreshButtons);
    connect(program_.get(), &ProgramFromFile::stepLabelChanged, stepLabel_, &QLabel::setText);
    connect(program_.get(), &ProgramFromFile::finished, this, [this](bool written) {
        if (written) accept();
    });
    connect(passwordButton_, &QPushButton::clicked, this,
            [this] { program_->sendPassword(password_->text()); });
    connect(writeButton_, &QPushButton::clicked, this, [this] { program_->startWriting(); });
    connect(cancelButton_, &QPushButton::clicked, this, &TfPrPar::reject);

    clock_ = new QTimer(this);
    connect(clock_, &QTimer::timeout, this, [this] { time_->setText(now()); });
    QTimer::singleShot(50, this, &TfPrPar::prepare);
    refreshButtons();
}

TfPrPar::~TfPrPar() = default;

void TfPrPar::prepare() {
    if (options_.storage) {
        registry_ = std::make_unique<database::Registry>(options_.root, *options_.storage);
        registryPanel_->setVisible(registry_->ok());
    }
    if (registry_ && registry_->ok()) {
        QString serial = data_.text(Field::HeaderSerial);
        serial.remove(QLatin1Char(' '));
        if (serial.size() < 5) {
            rows_ = registry_->all();
            row_ = rows_.isEmpty() ? -1 : 0;
            loadRow();
        } else {
            filling_ = true;
            typeList_->setCurrentText(data_.reading().profile.modelName.trimmed());
            serialEdit_->setText(serial);
            typeBox_->setChecked(true);
            serialBox_->setChecked(true);
            filling_ = false;
            applyFilter();
        }
    }
    fillFields();
    clock_->start(1000);
}

void TfPrPar::fillFields() {
    meterReading_->setText(data_.text(Field::MeterCounter));
    totalVolume_->setText(data_.text(Field::TotalStandardVolume));
    date_->setText(today());
    time_->setText(now());
}

void TfPrPar::applyFilter() {
    if (filling_ || !registry_ || !registry_->ok()) return;
    const QString type = typeBox_->isChecked() ? typeList_->currentText() : QString();
    const QString serial = serialBox_->isChecked() ? serialEdit_->text() : QString();
    rows_ = registry_->matching(type, serial);
    row_ = rows_.isEmpty() ? -1 : 0;
    loadRow();
}

void TfPrPar::moveTo(int row) {
    if (row < 0 || row >= rows_.size() || row == row_) return;
    row_ = row;
    loadRow();
}

void TfPrPar::loadRow() {
    showRow();
    // The window is cleared as a file load clears it: the access level reached stays.
    const int level = data_.state().accessLevel;
    data_.ClearWindow();
    data_.setProfile(ModelProfile{});
    data_.SetAccessLevel(level);
    if (row_ >= 0)
        loadPointParameterFile(data_, pointParameterFilePath(options_.root, rows_.at(row_).identifier),
                               notifier_);
    meterReading_->setText(data_.text(Field::MeterCounter));
    totalVolume_->setText(data_.text(Field::TotalStandardVolume));
}

void TfPrPar::showRow() {
    const bool any = row_ >= 0 && row_ < rows_.size();
    rowType_->setText(any ? rows_.at(row_).model : QString());
    rowSerial_->setText(any ? rows_.at(row_).serial : QString());
}

void TfPrPar::refreshButtons() {
    passwordButton_->setEnabled(program_->passwordEnabled());
    writeButton_->setEnabled(program_->writeEnabled());
}

void TfPrPar::reject() {
    program_->cancel();
    QDialog::reject();
}

void connectProgramFromFile(TCorrect& window, CorrectorWindowModel& data, link::ExchangeEngine& engine,
                            OperationStart& gate, Notifier& notifier, TfPrPar::Options options,
                            int serviceLevel) {
    QAction* action = window.programFromFileAction();
    action->setVisible(serviceLevel == 5);
    QObject::connect(action, &QAction::triggered, &window,
                     [&window, &data, &engine, &gate, &notifier, options] {
                         TfPrPar programming(data, engine, gate, notifier, options, &window);
                         programming.exec();
                         window.refresh();
                     });
}

} // namespace tarn::corrector
