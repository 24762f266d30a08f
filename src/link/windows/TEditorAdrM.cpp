#include "link/windows/TEditorAdrM.h"

#include "link/windows/AddressBookTexts.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::link {

TEditorAdrM::TEditorAdrM(BookKind kind, DataRoot root, int languageIndex, Notifier& notifier,
                         const LinkWording& wording, QWidget* parent)
    : QDialog(parent), editor_(kind, std::move(root), languageIndex), language_(languageIndex),
      notifier_(notifier), wording_(wording) {
    setObjectName(QStringLiteral("TEditorAdrM"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    layout->addWidget(list_);

    auto* fields = new QGridLayout;
    const int fieldCaption = kind == BookKind::Addresses ? kEditorAddressField : kEditorPhoneField;
    firstLabel_ = new QLabel(Text(kAddressBookTexts, fieldCaption, language_), this);
    secondLabel_ = new QLabel(Text(kAddressBookTexts, kEditorCommentField, language_), this);
    firstEdit_ = new QLineEdit(this);
    secondEdit_ = new QLineEdit(this);
    fields->addWidget(firstLabel_, 0, 0);
    fields->addWidget(secondLabel_, 0, 1);
    fields->addWidget(firstEdit_, 1, 0);
    fields->addWidget(secondEdit_, 1, 1);
    fields->setColumnStretch(1, 2);
    layout->addLayout(fields);
    for (QLineEdit* edit : {firstEdit_, secondEdit_})
        edit->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    delete_ = new QPushButton(Text(kAddressBookTexts, kEditorDelete, language_), this);
    save_ = new QPushButton(Text(kAddressBookTexts, kEditorSave, language_), this);
    cancel_ = new QPushButton(Text(kAddressBookTexts, kEditorCancel, language_), this);
    for (QPushButton* b : {delete_, save_, cancel_}) {
        // Enter in a field must not press a button (it would delete or save without being asked to).
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (filling_ || row < 0) return;
        editor_.select(row);
        showFields();
    });
    connect(delete_, &QPushButton::clicked, this, &TEditorAdrM::deleteClick);
    connect(save_, &QPushButton::clicked, this, &TEditorAdrM::saveClick);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    setWindowTitle(editorCaption(editor_.kind(), language_));
    resize(520, 360);
    move(0, 0);
}

void TEditorAdrM::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (openStarted_) return;
    openStarted_ = true;
    QTimer::singleShot(openDelayMs, this, &TEditorAdrM::Timer_Open);
}

void TEditorAdrM::Timer_Open() {
    setWindowTitle(editorCaption(editor_.kind(), language_));
    firstLabel_->setText(editorCaption(editor_.kind(), language_));
    move(0, 0);
    const bool written = editor_.open(newBookLines(editor_.kind(), language_));
    showEntries();
    showFields();
    opened_ = true;
    if (!written) notifier_.message(MessageKind::Error, fileNotWrittenText(language_, editor_.path()));
}

bool TEditorAdrM::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease && (watched == firstEdit_ || watched == secondEdit_) && opened_) {
        const qsizetype before = editor_.entries().size();
        editor_.editFields(firstEdit_->text(), secondEdit_->text());
        if (editor_.entries().size() != before)
            showEntries();
        else if (QListWidgetItem* item = list_->item(editor_.selected()))
            item->setText(editor_.entries().at(editor_.selected()));
    }
    return QDialog::eventFilter(watched, event);
}

void TEditorAdrM::deleteClick() {
    if (!opened_ || !notifier_.confirm(deleteQuestion(editor_.fields(), language_))) return;
    if (!editor_.deleteSelected()) {
        notifier_.message(MessageKind::Error, fileNotWrittenText(language_, editor_.path()));
        return;
    }
    showEntries();
    showFields();
}

void TEditorAdrM::saveClick() {
    // Before the book is read there is nothing to save, and writing would empty it.
    if (!opened_) return;
    if (const PhoneRefusal refused = editor_.refusal(); refused.refused()) {
        notifier_.message(MessageKind::Error, wording_.phoneRefusal(refused, language_));
        return;
    }
    if (!editor_.save()) {
        notifier_.message(MessageKind::Error, fileNotWrittenText(language_, editor_.path()));
        return;
    }
    accept();
}

void TEditorAdrM::showEntries() {
    filling_ = true;
    list_->clear();
    list_->addItems(editor_.entries());
    list_->setCurrentRow(editor_.selected());
    filling_ = false;
}

void TEditorAdrM::showFields() {
    firstEdit_->setText(editor_.fields().first);
    secondEdit_->setText(editor_.fields().second);
}

} // namespace tarn::link
