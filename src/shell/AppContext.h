#pragma once
// The application context: owns the long-lived objects of one run (settings, serial port, link) and hands
// them by reference to whoever needs them. Tarn_B, tarn-cli and the tests each make one.
#include "common/Clock.h"
#include "common/DataRoot.h"
#include "common/Language.h"
#include "common/Notifier.h"
#include "corrector/OperationStart.h"
#include "corrector/ReadRun.h"
#include "database/GroupFiles.h"
#include "database/Storage.h"
#include "database/postgres/DatabaseUrl.h"
#include "link/ExchangeEngine.h"
#include "link/LineHold.h"
#include "link/LinkLog.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"
#include "link/SerialPort.h"
#include "polling/PollingRun.h"
#include "shell/CommandLine.h"

#include <functional>
#include <memory>
#include <optional>

namespace tarn::shell {

// Forwards to the notifier in charge now (message boxes, the polling console, stderr).
class NotifierSwitch final : public Notifier {
public:
    explicit NotifierSwitch(Notifier& initial) : target_(&initial) {}
    void setTarget(Notifier& n) { target_ = &n; }
    Notifier& target() const { return *target_; }
    void message(MessageKind kind, const QString& text) override { target_->message(kind, text); }
    bool confirm(const QString& text) override { return target_->confirm(text); }

private:
    Notifier* target_;
};

class AppContext {
public:
    AppContext(DataRoot root, Notifier& notifier, std::unique_ptr<link::SerialPort> port);
    // On a clock of the caller's (a test's manual clock), which must outlive the context.
    AppContext(DataRoot root, Notifier& notifier, std::unique_ptr<link::SerialPort> port, Clock& clock);
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    const DataRoot& root() const { return root_; }
    NotifierSwitch& notifier() { return notifier_; }
    // The run's one clock: the engine, the modem and the polling engine wait on it.
    Clock& clock() { return clock_; }
    link::SerialPort& serialPort() { return *port_; }
    link::LinkPort& linkPort() { return linkPort_; }
    // The one exchange engine of the run, and the link log that the debugger window shows.
    link::ExchangeEngine& engine() { return engine_; }
    // Held by a user's operation from the corrector window for its whole length; polling waits for it.
    link::LineHold& lineHold() { return lineHold_; }
    link::LinkLog& linkLog() { return linkLog_; }
    link::LinkSettings& settings() { return settings_; }
    // The link settings go to the port and the exchange engine: the one way they get there, at start, after
    // every save of the settings window, and in tarn-cli after its options. Whoever applies them has just set
    // configuredAddress, so an address book entry chosen before no longer names it and is forgotten.
    void applyLinkSettings();
    // The corrector address the link uses: 1 after every initialisation, then the address book's choice.
    int configuredAddress = 1;
    // The address book entry chosen in this run ("3 // boiler house"), which the selection window shows
    // again; empty until a choice, and again after every initialisation.
    const QString& selectedEntry() const { return selectedEntry_; }
    // The address book's choice (the selection window, tarn-cli --address-book): the entry, and its address
    // as the configured address and the engine's, at once; the port is left as it is. False, with nothing
    // changed, for a text that is no address line.
    bool chooseAddress(const QString& entry);
    // What the polling engine works with; each point's link reaches the port and the engine through
    // applyLinkSettings, with the point's address. On a server database the run claims its points there,
    // as other pollers and workstations on that server do; claims that cannot be opened are said in the
    // parts (claimsUnavailable), and the run refuses every start rather than poll unclaimed.
    polling::PollingRun::Parts pollingParts();
    const link::SettingsFiles& settingsFiles() const { return files_; }
    // The gate of every corrector operation, and the read run of the read window.
    corrector::OperationStart& operationStart() { return operationStart_; }
    corrector::ReadRun& readRun() { return readRun_; }

    int languageIndex() const { return languageIndex_; }
    void setLanguageIndex(int index);
    QString text(const TextPairs& table, int pair) const { return Text(table, pair, languageIndex_); }

    int serviceLevel = 0;
    bool databaseOpen = false;
    // The decimals of volumes (Work\Qdel.000): what the corrector window, storing and the reports of this
    // run show volumes with. Read by every initialisation (and by tarn-cli at its start); a file that gives
    // no precision is told once a run.
    int volumeDecimals = 2;
    void loadVolumePrecision();
    // The table layouts of the schema files, loaded by the initialisation sequence.
    database::Schemas schemas;
    // The run's one storage of the archive database, with the layouts above as the initialisation loads
    // them: the table files under the root, unless the run chose a server (shell/DatabaseChoice).
    // Everything that reads or writes the tables goes through it.
    database::Storage& storage() { return *storage_; }
    // The run's polling groups, kept with the storage: the installation's Group folder beside the table
    // files, a table of the server's schema beside a server's storage (so every workstation on it sees the
    // same groups). Everything that reads or changes the groups goes through it.
    database::GroupFiles& groupFiles() { return *groupFiles_; }
    // The server's storage and group files instead of the files, for the rest of the run; the storage
    // reads schemas above.
    void useStorage(std::unique_ptr<database::Storage> storage, std::unique_ptr<database::GroupFiles> groups,
                    database::postgres::DatabaseUrl server);
    // Where the tables are kept: none for the installation's files. What works on the files themselves
    // (the database check, packages, folder synchronisation) is refused while it is a server.
    const std::optional<database::postgres::DatabaseUrl>& serverDatabase() const { return server_; }
    // The installation's table files again (the setting removed while the program ran).
    void useFiles();
    // Tarn_B's windows, its polling run, the point list and the server's claims keep the storage, group
    // files and claims they were given for as long as they live: swapping them under those would leave
    // some on the old database (or on a storage already gone). Set, a database choice that changes after
    // the database has been open in this run is not taken: the database is closed until the program is
    // started again, and databaseSwitchRefused says so. Unset (tarn-cli, whose commands take the storage
    // afresh), the change takes effect at the next start of the database.
    bool restartToSwitchDatabase = false;
    // The message of a changed choice left for the next start of the program; empty when none.
    const QString& databaseSwitchRefused() const { return databaseSwitchRefused_; }
    void refuseDatabaseSwitch(const QString& message) { databaseSwitchRefused_ = message; }
    // Whether the database has been open in this run: what was handed out since may be held anywhere.
    bool databaseOpenedInRun() const { return databaseOpenedInRun_; }
    void noteDatabaseOpened() { databaseOpenedInRun_ = true; }
    QChar csvDelimiter = QLatin1Char(',');
    CommandLine commandLine;

private:
    AppContext(DataRoot root, Notifier& notifier, std::unique_ptr<link::SerialPort> port,
               std::unique_ptr<Clock> ownClock, Clock* clock);

    DataRoot root_;
    std::unique_ptr<database::Storage> storage_;
    std::unique_ptr<database::GroupFiles> groupFiles_;
    std::optional<database::postgres::DatabaseUrl> server_;
    // The server's claims, opened by the first polling run on it and kept with its storage.
    std::unique_ptr<database::PointClaims> serverClaims_;
    bool databaseOpenedInRun_ = false;
    QString databaseSwitchRefused_;
    NotifierSwitch notifier_;
    std::unique_ptr<Clock> ownClock_;
    Clock& clock_;
    // First, so that it outlives every member that may keep a token of it.
    link::LineHold lineHold_;
    std::unique_ptr<link::SerialPort> port_;
    link::LinkPort linkPort_;
    link::LinkLog linkLog_;
    link::ExchangeEngine engine_;
    link::LinkSettings settings_;
    link::SettingsFiles files_;
    corrector::OperationStart operationStart_;
    corrector::ReadRun readRun_;
    int languageIndex_ = 1;
    QString selectedEntry_;
    bool volumePrecisionTold_ = false;
};

} // namespace tarn::shell
