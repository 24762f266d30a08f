#pragma once
// The console's two logs ("Текущие сообщения", "Последовательность опроса") and its lists share one
// look: a small fixed-pitch font, read only, no wrapping (the lines are columns), each line in its colour.
#include "common/LineColour.h"

#include <QFont>
#include <QString>

class QPlainTextEdit;
class QWidget;

namespace tarn::polling {

QFont consoleFont();
QPlainTextEdit* makeLogView(QWidget* parent);
// The line at the end of the view, in its colour, scrolled to. A view about to hold more than maxLines
// is cleared first: a console left running for days keeps its last lines only.
void appendLogLine(QPlainTextEdit* view, const QString& line, LineColour colour, int maxLines);

} // namespace tarn::polling
