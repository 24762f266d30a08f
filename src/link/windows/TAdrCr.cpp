#include "link/windows/TAdrCr.h"

#include "link/AddressBook.h"
#include "link/windows/AddressBookTexts.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::link {

TAdrCr::TAdrCr(DataRoot root, int languageIndex, QString selectedEntry, Notifier& notifier, Hooks hooks,
               QWidget* parent)
    : QDialog(parent), root_(std::move(root)), language_(languageIndex),
      selectedEntry_(std::move(selectedEntry)), notifier_(notifier), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("TAdrCr"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    exit_ = bar->addAction(QString());
    connect(exit_, &QAction::triggered, this, &TAdrCr::confirm);

    entries_ = new QComboBox(this);
    entries_->setEditable(true);
    // A typed text is a choice, not a new line of the book.
    entries_->setInsertPolicy(QComboBox::NoInsert);
    entries_->setEditText(QStringLiteral("1 // "));
    connect(entries_->lineEdit(), &QLineEdit::returnPressed, this, &TAdrCr::confirm);
    layout->addWidget(entries_);
    setMinimumWidth(360);
    setCaptions();
}

void TAdrCr::setCaptions() {
    setWindowTitle(Text(kAddressBookTexts, kChoiceCaption, language_));
    exit_->setText(Text(kAddressBookTexts, kChoiceExit, language_));
}

void TAdrCr::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (loadStarted_) return;
    loadStarted_ = true;
    QTimer::singleShot(loadDelayMs, this, &TAdrCr::Timer_Load);
}

void TAdrCr::Timer_Load() {
    setCaptions();
    const AddressOffer offer =
        offerAddresses(root_, language_, selectedEntry_, newAddressBookLines(language_));
    entries_->clear();
    entries_->addItems(offer.entries);
    entries_->setEditText(offer.fieldText);
    loaded_ = true;
    if (offer.writeFailed) notifier_.message(MessageKind::Error, fileNotWrittenText(language_, offer.path));
}

void TAdrCr::confirm() {
    const QString text = entries_->currentText();
    if (!parseAddress(text)) {
        notifier_.message(MessageKind::Error, wrongAddressText(language_));
        return;
    }
    if (hooks_.resetCorrectorWindow) hooks_.resetCorrectorWindow();
    if (hooks_.chooseAddress) hooks_.chooseAddress(text);
    accept();
}

} // namespace tarn::link
