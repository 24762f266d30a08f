#pragma once
// The exchanges of the day's join table as the polling console shows them: a read-only text window at the
// top left of the screen (500 pixels wide for one schedule row, 750 for the whole day), each line in its
// colour; Esc closes it.
#include "polling/PollingProtocols.h"

#include <QDialog>

class QPlainTextEdit;

namespace tarn::polling {

class TfExchanges final : public QDialog {
public:
    static constexpr int kRowWidth = 500;
    static constexpr int kDayWidth = 750;

    TfExchanges(const ExchangesView& view, const QString& caption, int width, QWidget* parent = nullptr);
    QPlainTextEdit* text() const { return text_; }

private:
    QPlainTextEdit* text_;
};

} // namespace tarn::polling
