#pragma once
// "ОТЧЕТ": the report window. The user chooses the period and what goes in, the report is written line
// by line into the work file RepDay, shown in a read-only viewer (right button: save as text), cut into
// pages with the page settings and printed — or written as a PDF file where no printer is installed.
#include "common/Notifier.h"
#include "reports/CommercialReport.h"
#include "reports/PageSettings.h"
#include "reports/ReportOptionsFile.h"
#include "reports/StatListing.h"

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QDateEdit;
class QPlainTextEdit;
class QRadioButton;
class QTimeEdit;
class QWidget;

namespace tarn::corrector {
class CorrectorWindowModel;
}

namespace tarn::reports {

class TPrint_ku final : public QDialog {
    Q_OBJECT
public:
    struct Input {
        DataRoot root;
        int language = 1;
        bool databaseOnly = false; // opened from the database window: "БД" on and fixed
        ReportHeader header;
        QString identifier; // the stored point (database work): the CSV file's default name
        // The records: the database's or the tables just read.
        std::function<std::unique_ptr<ReportSource>()> source;
        // The corrector window just read: what "Пр.пар" prints when the database is not the source.
        const corrector::CorrectorWindowModel* corrector = nullptr;
        // Where the save dialog and the print dialog come from; tests put in their own.
        std::function<QString(const QString& folder, const QString& filter)> askSavePath;
    };
    TPrint_ku(Input input, Notifier& notifier, QWidget* parent = nullptr);
    ~TPrint_ku() override;

    // "ПРОСМОТР": builds the report into the work file and shows it. False when the build stopped.
    bool buildAndShow();
    // "ПРОСМОТР С УСТАНОВКАМИ": the pages as they will be printed.
    bool showPages();
    // "ПЕЧАТЬ": the pages on a printer, or in a PDF file when there is none.
    bool print();
    // The right button in the viewer: the viewer's lines into Text\<name>.txt.
    bool saveViewer();
    bool saveViewerTo(const QString& path);
    // "КОДЫ ВНЕШТАТНЫХ СИТУАЦИЙ".
    void showCodeList();
    // 'ФАЙЛ "*.csv"': the statistical listing also into a CSV file in Stat_CSV\.
    bool exportCsv();
    bool exportCsvTo(const QString& chosen, bool totals);
    // "СТАТ. ДАННЫЕ": the columns of the hourly and daily listings.
    void chooseColumns();

    // Database work: "Отчет" (false) or "Стат.дан." (true), and the listing's archive.
    void setStatistical(bool on, ListingArchive archive = ListingArchive::Daily);
    bool statistical() const;
    ListingArchive listingArchive() const;
    QAction* csvAction() const { return csv_; }

    // "Пр.пар": the corrector's programmed parameters instead of a report of a period.
    void setParameterPrintout(bool on);

    ReportOptions options() const;
    void setOptions(const ReportOptions& options);
    QPlainTextEdit* viewer() const { return viewer_; }
    QStringList workLines() const { return work_; }
    QCheckBox* databaseBox() const { return database_; }
    const PageSettings& pageSettings() const { return page_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString t(const char* ru, const char* ua) const;
    bool build();
    bool buildParameterPrintout(QStringList& lines);
    void showLines(const QStringList& lines);
    void openPageSettings();
    void choosePrinter();
    void loadOptions();
    void storeOptions() const;
    void showDatabaseChoices();

    Input in_;
    Notifier& notifier_;
    PageSettings page_;
    QStringList work_;
    Listing listing_;
    QList<QStringList> pages_;
    ReportWindowOptions stored_;

    QPlainTextEdit* viewer_;
    QWidget* panels_;
    QRadioButton* month_;
    QRadioButton* range_;
    QRadioButton* day_;
    QRadioButton* params_;
    QRadioButton* all_;
    QRadioButton* data_;
    QRadioButton* interventions_;
    QRadioButton* alarms_;
    QCheckBox* parameters_;
    QCheckBox* codes_;
    QCheckBox* shortAlarms_;
    QCheckBox* heat_;
    QCheckBox* computeTotals_;
    QCheckBox* database_;
    QDateEdit* begin_;
    QDateEdit* end_;
    QTimeEdit* beginTime_;
    QTimeEdit* endTime_;
    QAction* enlarge_;
    QAction* csv_;
    QAction* columns_;
    QWidget* databaseChoices_;
    QRadioButton* kindReport_;
    QRadioButton* kindStatistical_;
    std::array<QRadioButton*, 6> archives_{}; // by ListingArchive − 1
    bool hourlyCalculation_ = false;
};

} // namespace tarn::reports
