#include "link/windows/TfTesMod.h"

#include "common/Language.h"

#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::link {

QString unreadableAtBookText(int languageIndex, const QString& path) {
    return uaRu(languageIndex,
                "Файл \"AT\" команд %1 не вдається прочитати: команди не показано, файл залишено як є.",
                "Файл \"AT\" команд %1 не удаётся прочитать: команды не показаны, файл оставлен как есть.")
        .arg(QDir::toNativeSeparators(path));
}

TfTesMod::TfTesMod(ModemTerminal& terminal, const DataRoot& root, int languageIndex, Notifier& notifier,
                   QWidget* parent)
    : QDialog(parent), terminal_(terminal), root_(root), language_(languageIndex), notifier_(notifier) {
    setObjectName(QStringLiteral("TfTesMod"));
    setWindowTitle(uaRu(language_, "ІНІЦІАЛІЗАЦІЯ МОДЕМУ", "ИНИЦИАЛИЗАЦИЯ МОДЕМА"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    layout->addLayout(left, 1);
    book_ = new QTableWidget(0, 3, this);
    book_->setHorizontalHeaderLabels(
        {QStringLiteral("Пуск"), QStringLiteral("Команда"), uaRu(language_, "Примітка", "Примечание")});
    book_->horizontalHeader()->setStretchLastSection(true);
    Error unreadable;
    for (const AtCommand& c : loadAtBook(root_, language_, &unreadable)) {
        const int row = book_->rowCount();
        book_->insertRow(row);
        book_->setItem(row, 0, new QTableWidgetItem);
        book_->setItem(row, 1, new QTableWidgetItem(c.command));
        book_->setItem(row, 2, new QTableWidgetItem(c.note));
    }
    connect(book_, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == 0) runRow(row);
    });
    left->addWidget(book_);
    // A book that is there and cannot be read looks like an empty one: the window says which it is.
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    left->addWidget(status_);
    if (unreadable.failed()) {
        status_->setText(unreadableAtBookText(language_, atBookPath(root_, language_)));
        notifier_.message(MessageKind::Warning, status_->text());
    } else {
        status_->hide();
    }
    auto* bookButtons = new QHBoxLayout;
    auto* save = new QPushButton(uaRu(language_, "Зберегти", "Сохранить"), this);
    auto* add = new QPushButton(uaRu(language_, "Додати", "Добавить"), this);
    bookButtons->addWidget(save);
    bookButtons->addWidget(add);
    left->addLayout(bookButtons);
    connect(save, &QPushButton::clicked, this, &TfTesMod::saveBook);
    connect(add, &QPushButton::clicked, this, [this] {
        const int row = book_->rowCount();
        book_->insertRow(row);
        for (int c = 0; c < 3; ++c)
            book_->setItem(row, c, new QTableWidgetItem);
    });
    auto* fields = new QGridLayout;
    at_ = new QLineEdit(this);
    characters_ = new QLineEdit(this);
    hex_ = new QLineEdit(this);
    auto* sendAt = new QPushButton(QStringLiteral("AT"), this);
    auto* sendCharacters = new QPushButton(uaRu(language_, "СИМ", "СИМ"), this);
    auto* sendHex = new QPushButton(QStringLiteral("HEX"), this);
    auto* lineTest = new QPushButton(QStringLiteral("S×550"), this);
    fields->addWidget(sendAt, 0, 0);
    fields->addWidget(at_, 0, 1);
    fields->addWidget(sendCharacters, 1, 0);
    fields->addWidget(characters_, 1, 1);
    fields->addWidget(sendHex, 2, 0);
    fields->addWidget(hex_, 2, 1);
    fields->addWidget(lineTest, 3, 0);
    left->addLayout(fields);
    connect(sendAt, &QPushButton::clicked, this,
            [this] { terminal_.sendCommand(QStringLiteral("AT") + at_->text()); });
    connect(sendCharacters, &QPushButton::clicked, this,
            [this] { terminal_.sendCharacters(characters_->text()); });
    connect(sendHex, &QPushButton::clicked, this, [this] {
        QString refused;
        if (!terminal_.sendHex(hex_->text(), &refused) && !refused.isEmpty())
            notifier_.message(MessageKind::Error, refused);
    });
    connect(lineTest, &QPushButton::clicked, this, [this] { terminal_.sendLineTest(); });

    auto* right = new QVBoxLayout;
    layout->addLayout(right, 2);
    sent_ = new QPlainTextEdit(this);
    received_ = new QPlainTextEdit(this);
    for (QPlainTextEdit* pane : {sent_, received_})
        pane->setReadOnly(true);
    right->addWidget(sent_);
    right->addWidget(received_);
    auto* clear =
        new QPushButton(uaRu(language_, "ОЧИЩЕННЯ ВІКОН ПЕРЕГЛЯДУ", "ОЧИСТКА ОКОН ПРОСМОТРА"), this);
    auto* reopen = new QPushButton(QStringLiteral("ИНИЦИАЛИЗАЦИЯ RS-232"), this);
    right->addWidget(clear);
    right->addWidget(reopen);
    connect(clear, &QPushButton::clicked, &terminal_, &ModemTerminal::clearPanes);
    connect(reopen, &QPushButton::clicked, this, [this] { terminal_.open(); });
    connect(&terminal_, &ModemTerminal::panesChanged, this, &TfTesMod::showPanes);
    resize(900, 560);
}

void TfTesMod::runRow(int row) {
    QTableWidgetItem* command = book_->item(row, 1);
    if (!command || command->text().trimmed().isEmpty()) return;
    book_->item(row, 0)->setText(QStringLiteral("Пуск"));
    terminal_.sendCommand(command->text());
    // The grid rests a moment so that one click sends one command.
    book_->setEnabled(false);
    QTimer::singleShot(250, this, [this, row] {
        if (QTableWidgetItem* mark = book_->item(row, 0)) mark->setText(QString());
        book_->setEnabled(true);
    });
}

bool TfTesMod::saveBook() {
    QList<AtCommand> commands;
    for (int row = 0; row < book_->rowCount(); ++row) {
        const QString command = book_->item(row, 1) ? book_->item(row, 1)->text().trimmed() : QString();
        if (!command.isEmpty())
            commands.append({command, book_->item(row, 2) ? book_->item(row, 2)->text() : QString()});
    }
    if (!saveAtBook(root_, language_, commands)) {
        notifier_.message(MessageKind::Error,
                          uaRu(language_, "Не вдалося записати файл ", "Не удалось записать файл ") +
                              atBookPath(root_, language_));
        return false;
    }
    notifier_.message(MessageKind::Information,
                      uaRu(language_, "\"AT\" команди збережені", "\"AT\" команды сохранены"));
    return true;
}

void TfTesMod::showPanes() {
    sent_->setPlainText(terminal_.sentPane().join(QLatin1Char('\n')));
    received_->setPlainText(terminal_.receivedPane().join(QLatin1Char('\n')));
}

void TfTesMod::closeEvent(QCloseEvent* event) {
    terminal_.close();
    QDialog::closeEvent(event);
}

} // namespace tarn::link
