#include "polling/windows/ConsoleLog.h"

#include "common/LineColourInk.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace tarn::polling {

QFont consoleFont() {
    return QFont(QStringLiteral("Courier New"), 8);
}

QPlainTextEdit* makeLogView(QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setReadOnly(true);
    view->setFont(consoleFont());
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    return view;
}

void appendLogLine(QPlainTextEdit* view, const QString& line, LineColour colour, int maxLines) {
    QTextDocument* document = view->document();
    if (!document->isEmpty() && document->blockCount() >= maxLines) view->clear();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    if (!document->isEmpty()) cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(colourOf(colour));
    cursor.insertText(line, format);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
}

} // namespace tarn::polling
