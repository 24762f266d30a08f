#pragma once
// tarn-cli: the program's operations for scripts, servers and tests. Each command is a function
// registered in the table of Cli.cpp; the options common to all are parsed once here.
#include "common/Notifier.h"
#include "corrector/Reading.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "shell/AppContext.h"
#include "shell/DatabaseChoice.h"

#include <QJsonObject>
#include <QMap>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <csignal>

namespace tarn::cli {

// Messages go to stderr as plain lines; with --json they are also collected for the JSON answer.
class ConsoleNotifier final : public Notifier {
public:
    void message(MessageKind kind, const QString& text) override;
    bool confirm(const QString& text) override; // unattended: no
    QStringList messages;
};

struct GlobalOptions {
    QString home;
    std::optional<QString> port;
    std::optional<int> address;
    std::optional<QString> addressBookEntry; // --address-book: an entry of the address book, or its address
    std::optional<QString> speed;
    std::optional<int> timeoutMs;
    std::optional<int> retries;
    QString traceFile;
    std::optional<int> language; // --lang ua|ru (en for scan)
    bool json = false;
    std::optional<QString> phone;    // dial through the modem first, hang up after
    int dialWaitSec = 60;            // how long the dial may take
    std::optional<QString> database; // --database: a server database's URL, as written back (no password)
};

// What a command receives: the options, its own arguments and a ready application context (settings
// and language loaded from the data root, then overridden by the options).
struct CliRun {
    GlobalOptions options;
    QStringList args; // the command's own words after the command word, its options taken out
    QMap<QString, QString> optionValues; // the command's options by name ("--item"), as given
    ConsoleNotifier* notifier = nullptr;
    shell::AppContext* context = nullptr;
    // The database the run was given (--database, else Work/Database.000); the context's storage is the
    // server's when it names one and the command works through the storage.
    shell::DatabaseChoice database;
    QTextStream* out = nullptr;
    bool interrupted = false; // SIGINT or SIGTERM while the command runs over a telephone line

    // The command's own options (each checked against its table before the command runs).
    bool has(const QString& flag) const { return optionValues.contains(flag); }
    std::optional<QString> value(const QString& flag) const;
    void printJson(const QJsonObject& object) const;
};

using Command = std::function<int(CliRun&)>;

// An option of one command: "--item" with its value's name ("N"); a switch has no value name.
struct OptionSpec {
    const char* name;
    const char* valueName; // nullptr: a switch
    const char* help;
};

// The words a command takes after its command word: a verb and how many words may follow it
// (kFreeWords: any number). A command without verbs takes no words at all.
inline constexpr int kFreeWords = -1;
struct VerbSpec {
    const char* verb;
    int words;
};

struct CommandEntry {
    const char* name;
    const char* usage;
    Command run;
    std::vector<OptionSpec> options;
    std::vector<VerbSpec> verbs = {};
};

// --port, --speed, --timeout and --retries over the settings read from the file.
void applyLinkOptions(const GlobalOptions& opt, link::LinkSettings& s);

// A link kind as the configurator stores it ("нет связи", "прямое соединение", "телефон") from its text or
// from none, cable or phone; nothing for another word.
std::optional<QString> linkKindFromText(const QString& text);

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNoLink = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;

int runCli(int argc, char** argv);

// The tables the parser works from: the commands, and the options every command takes. The manual page
// and the shell completion are written from them, so they list exactly what the parser accepts.
const std::vector<CommandEntry>& commandTable();
std::vector<OptionSpec> globalOptionTable();

// The manual page (man(7) macros) and the bash completion script, written from the tables above.
void writeManPage(QTextStream& out);
void writeBashCompletion(QTextStream& out);

// While it lives, SIGINT and SIGTERM become a call on the event loop, so a command ends in order (a
// call hung up, what was read stored) instead of dying mid-line. With onHangUp, SIGHUP (systemctl reload)
// becomes a call too.
class SignalsToEvents {
public:
    explicit SignalsToEvents(const std::function<void()>& onInterrupt,
                             const std::function<void()>& onHangUp = {});
    ~SignalsToEvents();
    SignalsToEvents(const SignalsToEvents&) = delete;
    SignalsToEvents& operator=(const SignalsToEvents&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    struct sigaction oldHup_ {};
    bool hangUp_ = false;
};
inline constexpr int kExitInterrupted = 130;

// Commands (one file each).
int cmdInit(CliRun& run);
int cmdSettings(CliRun& run);
int cmdConsole(CliRun& run);
int cmdPort(CliRun& run);
int cmdExchange(CliRun& run);
int cmdScan(CliRun& run);
int cmdIdentify(CliRun& run);
int cmdParams(CliRun& run);
int cmdItem(CliRun& run);
int cmdClock(CliRun& run);
int cmdRead(CliRun& run);
int cmdStore(CliRun& run);
int cmdFile(CliRun& run);
int cmdPoints(CliRun& run);
int cmdRows(CliRun& run);
int cmdDb(CliRun& run);
int cmdGas(CliRun& run);
int cmdReport(CliRun& run);
// The command over a telephone line: dial, run it once the call is up, hang up whatever happens.
int runOverPhone(CliRun& run, const QString& phone, const std::function<int()>& command);
int cmdListing(CliRun& run);
int cmdModem(CliRun& run);
int cmdGroup(CliRun& run);
int cmdSchedule(CliRun& run);
int cmdPoll(CliRun& run);
int cmdProtocol(CliRun& run);
int cmdGraph(CliRun& run);
int cmdPackage(CliRun& run);
int cmdSync(CliRun& run);
int cmdDtu(CliRun& run);

// The installation's table layouts (the schema files written first where missing), also given to the
// context, whose storage() then reads the tables; nothing, the notifier told why, when they do not load.
std::optional<database::Schemas> installationSchemas(CliRun& run);
// The installation's database as it stands, no schema file written: the layouts loaded into the context,
// whose storage is returned; nothing, the notifier told why, when they do not load.
database::Storage* loadedStorage(CliRun& run);
// The run's storage after installationSchemas; nothing when the layouts do not load (told only when tell).
database::Storage* installationStorage(CliRun& run, bool tell = true);
int cmdLpt(CliRun& run);

// The store of a reading: the point found, or added with the configurator's defaults (as a package adds
// one), then the archives; the JSON of what was stored (ok false, the notifier told, when nothing was).
QJsonObject storeInDatabase(CliRun& run, const corrector::Reading& reading, const QList<int>& kinds, bool& ok,
                            const QString& fileName = {});

// Reads the archives a report needs from the corrector, then hands the reading to use.
int withFreshArchives(CliRun& run,
                      const std::function<int(const corrector::Reading&, const QList<int>& kindsRead)>& use);

} // namespace tarn::cli
