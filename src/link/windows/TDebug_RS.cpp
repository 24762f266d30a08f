#include "link/windows/TDebug_RS.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace tarn::link {

namespace {

QPlainTextEdit* makePane() {
    auto* pane = new QPlainTextEdit;
    pane->setReadOnly(true);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return pane;
}

QGroupBox* group(const char* title, QWidget* inner) {
    auto* box = new QGroupBox(QString::fromUtf8(title));
    auto* l = new QVBoxLayout(box);
    l->setContentsMargins(2, 2, 2, 2);
    l->addWidget(inner);
    return box;
}

} // namespace

TDebug_RS::TDebug_RS(LinkLog& log, QWidget* parent)
    : QDialog(parent), log_(log), sendPane_(makePane()), receivePane_(makePane()) {
    setWindowTitle(QStringLiteral("ОТЛАДЧИК RS-232"));
    auto* layout = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    connect(menu->addAction(QStringLiteral("СБРОС ЭКРАНОВ")), &QAction::triggered, this,
            &TDebug_RS::ClearScreensClick);
    connect(menu->addAction(QStringLiteral("ВЫХОД")), &QAction::triggered, this, &QDialog::close);
    layout->setMenuBar(menu);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(group("ПЕРЕДАЧА", sendPane_));
    splitter->addWidget(group("ПРИЕМ", receivePane_));
    layout->addWidget(splitter, 1);

    auto* settings = new QGroupBox(QStringLiteral("УСТАНОВКИ"));
    auto* grid = new QGridLayout(settings);
    grid->addWidget(new QLabel(QStringLiteral("ПЕРЕДАЧА")), 0, 0);
    const RowBoxes send = makeRow(log_.options.send);
    grid->addWidget(send.hex, 0, 1);
    grid->addWidget(send.chars, 0, 2);
    grid->addWidget(send.time, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("ПРИЕМ")), 1, 0);
    const RowBoxes receive = makeRow(log_.options.receive);
    grid->addWidget(receive.hex, 1, 1);
    grid->addWidget(receive.chars, 1, 2);
    grid->addWidget(receive.time, 1, 3);

    auto* formatted = new QCheckBox(QStringLiteral("Ф"));
    formatted->setChecked(log_.options.formatted);
    connect(formatted, &QCheckBox::toggled, this, [this](bool on) { log_.options.formatted = on; });
    grid->addWidget(formatted, 0, 4);
    bytesPerLine_ = new QLineEdit(log_.options.bytesPerLine);
    bytesPerLine_->setMaximumWidth(50);
    // Whatever is typed is kept as text; the log reads it as a usable number.
    connect(bytesPerLine_, &QLineEdit::textChanged, this,
            [this](const QString& t) { log_.options.bytesPerLine = t; });
    grid->addWidget(bytesPerLine_, 1, 4);
    auto* invert = new QCheckBox(QStringLiteral("ИНВ"));
    invert->setChecked(log_.options.invertLpt);
    connect(invert, &QCheckBox::toggled, this, [this](bool on) { log_.options.invertLpt = on; });
    grid->addWidget(invert, 0, 5);

    firstZone = new QLineEdit(QStringLiteral("0"));
    lastZone = new QLineEdit(QStringLiteral("511"));
    lptStart = new QPushButton(QStringLiteral("LPT/пуск"));
    lptStop = new QPushButton(QStringLiteral("LPT/стоп"));
    lptStart->setEnabled(false);
    lptStop->setEnabled(false);
    grid->addWidget(firstZone, 0, 6);
    grid->addWidget(lastZone, 1, 6);
    grid->addWidget(lptStart, 0, 7);
    grid->addWidget(lptStop, 1, 7);
    layout->addWidget(settings);

    connect(&log_, &LinkLog::panesChanged, this, &TDebug_RS::refreshPanes);
    refreshPanes();
    resize(760, 560);
}

TDebug_RS::RowBoxes TDebug_RS::makeRow(LinkLogRow& row) {
    RowBoxes boxes{new QCheckBox(QStringLiteral("к. б / HEX ")), new QCheckBox(QStringLiteral("СИМ")),
                   new QCheckBox(QStringLiteral("ВРЕМЯ"))};
    boxes.hex->setChecked(row.hex);
    boxes.chars->setChecked(row.chars);
    boxes.time->setChecked(row.time);
    connect(boxes.hex, &QCheckBox::toggled, this, [&row](bool on) { row.hex = on; });
    connect(boxes.chars, &QCheckBox::toggled, this, [&row](bool on) { row.chars = on; });
    connect(boxes.time, &QCheckBox::toggled, this, [&row](bool on) { row.time = on; });
    return boxes;
}

void TDebug_RS::ClearScreensClick() {
    log_.clearPanes();
}

void TDebug_RS::refreshPanes() {
    sendPane_->setPlainText(log_.sendPane().join(QLatin1Char('\n')));
    receivePane_->setPlainText(log_.receivePane().join(QLatin1Char('\n')));
}

} // namespace tarn::link
