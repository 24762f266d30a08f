#pragma once
// "Приборы дня" in the console: the day's points at a glance (who answered, who failed, how old the
// newest record is), a filter over the rows in hand and the button that polls the failed ones again.
// It shows rows; reading them is the DayBoardFeed's.
#include "polling/DayBoard.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tarn::polling {

class DayBoardPanel final : public QWidget {
    Q_OBJECT
public:
    explicit DayBoardPanel(QWidget* parent = nullptr);

    // The rows shown through the filter; the filter's changes show them again without a new read.
    void showRows(const QList<BoardRow>& rows);

    QTableView* view() const { return view_; }
    QLineEdit* filter() const { return filter_; }
    QCheckBox* failedOnlyBox() const { return failedOnly_; }
    QPushButton* retryButton() const { return retry_; }

signals:
    // "опросить неуспешные".
    void retryRequested();

private:
    void showFiltered();

    QLineEdit* filter_;
    QCheckBox* failedOnly_;
    QPushButton* retry_;
    QStandardItemModel* model_;
    QTableView* view_;
    QList<BoardRow> rows_;
};

} // namespace tarn::polling
