#pragma once
// "ОТЧЕТ": the report window. The user chooses the period and what goes in, the report is written line
// by line into the work file RepDay, shown in a read-only viewer (right button: save as text), cut into
// pages with the page settings and printed — or written as a PDF file where no printer is installed.
#include "common/Notifier.h"
#include "database/GroupFiles.h"
#include "polling/PollingProtocols.h"
#include "reports/CommercialReport.h"
#include "reports/PageSettings.h"
#include "reports/ReportOptionsFile.h"
#include "reports/ReportService.h"
#include "reports/StatListing.h"

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTimeEdit;
class QWidget;

namespace tarn::corrector {
struct Reading;
}
namespace tarn::polling {
class TfGroupSummary;
class TfMaskNhs;
struct GroupListingRequest;
} // namespace tarn::polling

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
        // The run's storage of the database: the points, the records, the polling protocol and lists. A
        // window opened without it (only the tables just read) has no database to choose from.
        database::Storage* storage = nullptr;
        // The run's polling groups ("Группа"); none: the Group folder of root.
        const database::GroupFiles* groups = nullptr;
        // The records: the database's or the tables just read.
        std::function<std::unique_ptr<ReportSource>()> source;
        // The corrector window just read: what "Пр.пар" prints when the database is not the source.
        const corrector::Reading* corrector = nullptr;
        // Where the save dialog and the print dialog come from; tests put in their own.
        std::function<QString(const QString& folder, const QString& filter)> askSavePath;
        // "ГРАФИК" (database work): the corrector graph dialog for the point, the group graph dialog for
        // the group chosen here. The menu is left out without them.
        std::function<void(const QString& identifier, QWidget* parent)> openPointGraph;
        std::function<void(const QString& groupName, QWidget* parent)> openGroupGraph;
        // A group's listings: where tests take the place of the summary and mask windows' modal runs.
        std::function<void(polling::TfGroupSummary&)> groupSummaryShown;
        std::function<void(polling::TfMaskNhs&)> alarmMaskShown;
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

    // Database work: "Перечень" (3) or "Опрос" (4), the polling lists and protocol, over the points of
    // "Коррект" (1, the ticked filters), "Группа" (2, the group chosen) or "Газ" (3, lists only).
    void setProtocolKind(int databaseKind, int object = 1);
    polling::PollProtocolOptions pollOptions() const;
    polling::PointListOptions listOptions() const;
    QComboBox* groupChoice() const { return groupName_; }
    // "Стат.дан." of "Группа": the alarm archive as "Таблица" or "Отдельн. запись", "сводная таблица группы".
    void setGroupObject(bool on);
    QRadioButton* alarmTableChoice() const { return alarmTable_; }
    QRadioButton* alarmRecordsChoice() const { return alarmRecords_; }
    QCheckBox* groupMatrixBox() const { return groupMatrix_; }
    QCheckBox* filterBox(polling::PointFilter f) const { return filterOn_[static_cast<std::size_t>(f)]; }
    QLineEdit* filterText(polling::PointFilter f) const { return filterText_[static_cast<std::size_t>(f)]; }
    // The navigator: the points that pass the ticked filters; the report is made for its current one.
    QComboBox* navigator() const { return navigator_; }
    // Refills the navigator from the registry with the filters as they stand.
    void refreshNavigator();
    QRadioButton* connectionsChoice() const { return pollConnections_; }
    QCheckBox* pollWindowBox() const { return pollWindow_; }
    QRadioButton* fullChoice() const { return detailFull_; }

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
    bool build();
    bool buildParameterPrintout(QStringList& lines);
    bool buildProtocol(QStringList& lines);
    bool groupListing() const;
    bool buildGroupListing(QStringList& lines);
    bool buildMembersListing(const polling::GroupListingRequest& request, QStringList& lines);
    int databaseKind() const;
    int protocolObject() const;
    void showLines(const QStringList& lines);
    void openPageSettings();
    void choosePrinter();
    void loadOptions();
    void storeOptions() const;
    void showDatabaseChoices();

    Input in_;
    // The groups when the input names none: the installation's Group folder.
    database::FolderGroupFiles folderGroups_{in_.root};
    const database::GroupFiles& groupFiles() const { return in_.groups ? *in_.groups : folderGroups_; }
    // What stands for the database when the window was given none: layouts that never loaded, so a
    // search finds nothing and a lookup fails instead of reading tables of some other installation.
    database::Schemas noLayouts_;
    std::unique_ptr<database::SqliteStorage> noDatabase_;
    // The database's points, layouts and records, as the window asks for them.
    ReportService service_;
    // The corrector as the last report built printed it (a stored point's with its parameter file).
    ReportHeader printed_;
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
    // "Перечень" and "Опрос".
    QRadioButton* kindList_;
    QRadioButton* kindPoll_;
    QWidget* protocolChoices_;
    QRadioButton* objectPoints_;
    QRadioButton* objectGroup_;
    QRadioButton* objectGas_;
    QComboBox* groupName_;
    QRadioButton* detailShort_;
    QRadioButton* detailFull_;
    QWidget* pollChoices_;
    QRadioButton* pollRuns_;
    QRadioButton* pollConnections_;
    QCheckBox* pollWindow_;
    QCheckBox* pollTypeOn_;
    QComboBox* pollType_;
    std::array<QCheckBox*, polling::kPointFilters> filterOn_{};
    std::array<QLineEdit*, polling::kPointFilters> filterText_{};
    QComboBox* navigator_ = nullptr;
    void choosePoint(int row);
    // A group's statistical listing.
    QWidget* groupChoices_;
    QRadioButton* alarmTable_;
    QRadioButton* alarmRecords_;
    QCheckBox* groupMatrix_;
    QStringList groupCsv_;
    bool hourlyCalculation_ = false;
};

} // namespace tarn::reports
