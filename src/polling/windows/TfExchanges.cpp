#include "polling/windows/TfExchanges.h"

#include "common/LineColourInk.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

namespace tarn::polling {

TfExchanges::TfExchanges(const ExchangesView& view, const QString& caption, int width, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TfExchanges"));
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFont(QStringLiteral("Courier New"), 8));
    layout->addWidget(text_);
    QTextCursor cursor(text_->document());
    for (qsizetype i = 0; i < view.lines.size(); ++i) {
        const ViewLine& line = view.lines.at(i);
        if (i > 0) cursor.insertBlock();
        QTextCharFormat format;
        format.setForeground(colourOf(line.colour));
        cursor.insertText(line.text, format);
    }
    // Esc is the dialog's reject: the window closes.
    move(0, 0);
    resize(width, 400);
}

} // namespace tarn::polling
