#include "link/windows/TModC.h"

#include "common/Language.h"
#include "link/AddressBook.h"
#include "link/ModemReplies.h"
#include "link/windows/AddressBookTexts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QVBoxLayout>

namespace tarn::link {

QStringList dialEntries(const QStringList& bookLines) {
    QStringList entries;
    for (const QString& line : bookLines)
        if (!phoneNumberOf(line).isEmpty()) entries.append(line);
    return entries;
}

TModC::TModC(ModemSession& modem, const DataRoot& root, int languageIndex, Notifier& notifier,
             QWidget* parent)
    : QDialog(parent), modem_(modem), language_(languageIndex), notifier_(notifier) {
    setObjectName(QStringLiteral("TModC"));
    setWindowTitle(QStringLiteral("МОДЕМ"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    connect(bar->addAction(uaRu(language_, "З'ЄДНАННЯ", "СОЕДИНЕНИЕ")), &QAction::triggered, this,
            &TModC::connectCall);
    connect(bar->addAction(QStringLiteral("СТОП")), &QAction::triggered, this, &TModC::stopCall);
    connect(bar->addAction(uaRu(language_, "ВИХІД", "ВЫХОД")), &QAction::triggered, this, &QWidget::close);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    phones_ = new QComboBox(this);
    phones_->setEditable(true);
    const BookLines book = readBook(phoneBookPath(root), newPhoneBookLines());
    if (book.writeFailed)
        notifier_.message(MessageKind::Error, fileNotWrittenText(language_, phoneBookPath(root)));
    phones_->addItems(dialEntries(book.lines));
    reply_ = new QLineEdit(this);
    reply_->setReadOnly(true);
    elapsed_ = new QLineEdit(this);
    elapsed_->setReadOnly(true);
    elapsed_->setVisible(false);
    form->addRow(uaRu(language_, "Телефон:", "Телефон:"), phones_);
    form->addRow(uaRu(language_, "Відповідь модему:", "Ответ модема:"), reply_);
    form->addRow(uaRu(language_, "до з'єднання пройшло:", "до соединения прошло:"), elapsed_);
    connect(&modem_, &ModemSession::changed, this, &TModC::showState);
    connect(&modem_, &ModemSession::connectedChanged, this, [this](bool connected) {
        if (connected) close();
    });
}

void TModC::showState() {
    reply_->setText(modem_.reply());
    elapsed_->setText(QString::number(modem_.elapsedSeconds()) + QStringLiteral(" сек."));
}

void TModC::connectCall() {
    reply_->clear();
    const QString refusal = modem_.dial(phones_->currentText());
    if (!refusal.isEmpty()) {
        notifier_.message(MessageKind::Warning, refusal);
        return;
    }
    elapsed_->setVisible(true);
    showState();
}

void TModC::stopCall() {
    modem_.stop();
    showState();
}

void TModC::closeEvent(QCloseEvent* event) {
    // Leaving while the modem is still dialling hangs up first.
    if (modem_.counting()) modem_.stop();
    QDialog::closeEvent(event);
}

} // namespace tarn::link
