#pragma once
// A synchronised copy's refresh in the console: the time since the last synchronisation and the two
// countdowns, to the "Wait.000" and to the "Start.000" marker. The countdown rows show only while the
// cycle is on.
#include <QWidget>

class QLabel;
class QLineEdit;

namespace tarn::polling {

class ViewerRefresh;

class ViewerPanel final : public QWidget {
    Q_OBJECT
public:
    enum class Countdown { Wait, Start };

    explicit ViewerPanel(QWidget* parent = nullptr);

    // The panel as the refresh stands now.
    void showRefresh(const ViewerRefresh& refresh);

    QLineEdit* sinceLastSynchronisation() const { return sinceSync_; }
    QLineEdit* minutes(Countdown c) const { return minutes_[static_cast<int>(c)]; }
    QLineEdit* seconds(Countdown c) const { return seconds_[static_cast<int>(c)]; }
    QLabel* label(Countdown c) const { return labels_[static_cast<int>(c)]; }

private:
    QLineEdit* sinceSync_;
    QWidget* rows_[2]{};
    QLabel* labels_[2]{};
    QLineEdit* minutes_[2]{};
    QLineEdit* seconds_[2]{};
};

} // namespace tarn::polling
