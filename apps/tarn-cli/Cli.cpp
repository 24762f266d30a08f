#include "Cli.h"

#include "common/LanguageFile.h"
#include "common/Version.h"
#include "database/postgres/DatabaseUrl.h"
#include "link/AddressBook.h"
#include "link/QtSerialPort.h"
#include "link/windows/AddressBookTexts.h"
#include "shell/DatabaseChoice.h"
#include "shell/ErrorReport.h"
#include "shell/Initialisation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>

#include <cstdio>

namespace tarn::cli {

int cmdProgram(CliRun& run); // cmd_program.cpp
int cmdCoef(CliRun& run);    // cmd_corrector.cpp

namespace {

const std::vector<CommandEntry> kCommands = {
    {"init", "init                      lay out a new installation under the data root", cmdInit, {}},
    {"settings",
     "settings [show|defaults|set NAME=VALUE…|ports|language [UA|RU]|service-level CODE]",
     cmdSettings,
     {},
     {{"show", 0},
      {"defaults", 0},
      {"set", kFreeWords},
      {"ports", 0},
      {"language", 1},
      {"service-level", 1}}},
    {"console",
     "console settings [show|set KEY=VALUE…]   the polling console's settings (sound, alarm, clock, CSV "
     "copies, delimiter, autostart; a synchronised copy's refresh cycle)",
     cmdConsole,
     {},
     {{"settings", kFreeWords}}},
    {"port",
     "port open                 open the configured port as the port window does",
     cmdPort,
     {},
     {{"open", 0}}},
    {"exchange",
     "exchange --op read|archive-low|archive-high|page|write --at N [--count N] [--data HEX] [--blocks N]\n"
     "                            one request through the exchange engine; payloads in hexadecimal",
     cmdExchange,
     {{"--op", "OP", "read, archive-low, archive-high, page or write"},
      {"--at", "N", "the address byte, 0..255 (0x.. for hexadecimal)"},
      {"--count", "N", "bytes to read, 1..256 (0 or 256: 256)"},
      {"--data", "HEX", "the data of a write, 1..256 bytes in hexadecimal"},
      {"--blocks", "N", "blocks of a multi-block transfer, 1..65536"}}},
    {"identify", "identify [--json]         identify the corrector as every operation does", cmdIdentify, {}},
    {"params", "params [--json]           identification and the full parameter read", cmdParams, {}},
    {"item",
     "item get|set --item N [--value TEXT] [--unit UNIT] [--password FIELD:DIGITS]   one programmable item",
     cmdItem,
     {{"--item", "N", "the item, 1..70"},
      {"--value", "TEXT", "the value to write, as typed in the corrector window"},
      {"--unit", "UNIT",
       "items 6 and 43: the panel's unit, kgf (kgf/cm²), cmH2O (item 6), mmHg (item 43) or MPa"},
      {"--password", "FIELD:DIGITS",
       "a password first; FIELD is the password window's field: 1..3 operator A, B, C, 4..5 master E, F, "
       "6 configurator, 7 verifier"}},
     {{"get", 0}, {"set", 0}}},
    {"clock",
     "clock get|set|correct [--value TEXT] [--password FIELD:DIGITS]   the corrector's clock",
     cmdClock,
     {{"--value", "TEXT", "set: \"dd.MM.yyyy HH:mm\" (now when left out); correct: minutes"},
      {"--password", "FIELD:DIGITS", "a password first; FIELD 1..7 as for item"}},
     {{"get", 0}, {"set", 0}, {"correct", 0}}},
    {"coef",
     "coef read [--out FILE] [--password FIELD:DIGITS] | coef write --file FILE [--password FIELD:DIGITS] | "
     "coef show FILE   the meter-coefficient (Z-900) or calibration table",
     cmdCoef,
     {{"--out", "FILE", "read: the cells also into FILE (.whi or .zib, as the window saves them)"},
      {"--file", "FILE", "write, show: the coefficient file, FILE.whi (meter) or FILE.zib (calibration)"},
      {"--password", "FIELD:DIGITS",
       "a password first; FIELD 1..7 as for item (the calibration permission wants the verifier, 7)"}},
     {{"read", 0}, {"write", 0}, {"show", 1}}},
    {"program",
     "program --point ID [--password P] [--date dd.MM.yyyy --time HH:mm] "
     "[--meter-reading X] [--total-volume Y]   write a point's saved parameter file into the corrector",
     cmdProgram,
     {{"--point", "ID", "the metering point whose parameter file (Param/p_ID.000) is written"},
      {"--password", "P", "the configurator password (default 5831)"},
      {"--date", "DATE", "the date written with the last step, dd.MM.yyyy (default today)"},
      {"--time", "TIME", "the time written with the last step, HH:mm (default now)"},
      {"--meter-reading", "X", "the meter reading, m³ (default the file's)"},
      {"--total-volume", "Y", "the total standard volume, m³ (default the file's)"}}},
    {"read",
     "read [--archives LIST] [--until-empty] | --days N [--save-prt FILE] [--save-txt FILE] [--save-xls FILE "
     "[--sheets LIST]] [--json]   the corrector's archives",
     cmdRead,
     {{"--archives", "LIST",
       "comma-separated: hourly, daily, monthly, abnormal, interference, operative, service; or all (the "
       "default)"},
      {"--until-empty", nullptr, "end each archive at its empty end (\"ЧИТАТЬ ДО ПУСТОЙ СТРОКИ\")"},
      {"--days", "N",
       "the selective read (\"ВЫБОРОЧНОЕ ЧТЕНИЕ\"): the last N days (1..40) of the hourly and daily "
       "archives, then the monthly, abnormal and interference archives"},
      {"--save-prt", "FILE", "also save what was read as a \"*.prt\" file (\"СОХРАНИТЬ КАК *.prt\")"},
      {"--save-txt", "FILE", "also export it as a tab-separated text (\"СОХРАНИТЬ КАК *.txt\")"},
      {"--save-xls", "FILE",
       "also write the workbook (\"СОХРАНИТЬ КАК *.xls\") as FILE.xlsx; refused when FILE.xls or FILE.xlsx "
       "exists"},
      {"--sheets", "LIST",
       "the workbook's archive sheets after \"Параметры\", comma-separated: hourly, daily, monthly, "
       "abnormal, interference, operative; or all (the default)"},
      {"--strict", nullptr,
       "exit 1 when records stayed bad through every re-read and were replaced by empty ones"}}},
    {"store",
     "store [--archives LIST] [--until-empty] [--days N] [--measurement] [--json]   read, then store in the "
     "database",
     cmdStore,
     {{"--archives", "LIST", "as for read"},
      {"--until-empty", nullptr, "as for read"},
      {"--days", "N", "as for read: the selective read"},
      {"--measurement", nullptr, "also take the instantaneous measurement and store it"},
      {"--save-prt", "FILE", "as for read"},
      {"--save-txt", "FILE", "as for read"},
      {"--save-xls", "FILE", "as for read"},
      {"--sheets", "LIST", "as for read"},
      {"--strict", nullptr, "as for read (what was read is still stored)"}}},
    {"file",
     "file show FILE [--json] | store FILE | export FILE [--out TXT] [--save-xls XLSX [--sheets LIST]]   a "
     "saved \"*.prt\" file: its contents, into the database (source \"файл\"), or as text and a workbook",
     cmdFile,
     {{"--out", "TXT", "export: the text file"},
      {"--save-xls", "FILE", "export: the workbook, as for read"},
      {"--sheets", "LIST", "export: the workbook's archive sheets, as for read"}},
     {{"show", 1}, {"store", 1}, {"export", 1}}},
    {"report",
     "report --point ID | --from-corrector --period day|month|period|params --from dd.MM.yyyy [--to "
     "dd.MM.yyyy] "
     "[options] [--out FILE] [--json]   the commercial report",
     cmdReport,
     {{"--point", "ID", "the stored metering point"},
      {"--from-corrector", nullptr, "read the archives from the corrector instead of the database"},
      {"--period", "KIND",
       "day (a gas day), month (the month of --from), period (--from … --to) or params (the programmed "
       "parameters, \"Пр.пар\", from the point's parameter file)"},
      {"--from", "DATE", "dd.MM.yyyy"},
      {"--to", "DATE", "dd.MM.yyyy, the last gas day of a period"},
      {"--content", "WHAT", "all (the default), data, interventions or alarms"},
      {"--params", nullptr, "the corrector's parameters at the head (\"Параметры\")"},
      {"--codes", nullptr, "append the list of abnormal-situation codes (\"Коды НШС\")"},
      {"--short-alarms", nullptr, "only the daily lines of the abnormal situations (\"Кратк.НШС\")"},
      {"--heat", nullptr, "the heat-energy column and total (\"Тепл.энерг\")"},
      {"--compute-totals", nullptr,
       "the end counter reading from the period's volumes (\"расч.Vобщ.стд.Vсч.\")"},
      {"--hourly-calc", nullptr, "days and totals from the hourly archive (\"РАСЧЕТ ПО ЧАСОВОМУ АРХИВУ\")"},
      {"--out", "FILE", "write the report as the program saves it (Windows-1251, CR LF)"},
      {"--pdf", "FILE",
       "also the pages, as they would be printed, in a PDF file (Work/FilePrn.000 settings); with --out "
       "both files or, when one cannot be written, neither"},
      {"--made", "WHEN", "the time the report says it was made, \"dd.MM.yyyy HH:mm:ss\" (default now)"}}},
    {"listing",
     "listing --point ID --archive KIND --period day|month|period --from dd.MM.yyyy [--to dd.MM.yyyy] "
     "[--columns LIST] [--totals] [--out FILE] [--csv FILE] [--json] | --group NAME --archive hourly|daily "
     "--from WHEN --to WHEN [--breakdown] [--day-totals] [--matrix-csv FILE] | --group NAME --archive "
     "alarm|operative|service|measurement --from dd.MM.yyyy --to dd.MM.yyyy   a statistical listing",
     cmdListing,
     {{"--point", "ID", "the stored metering point"},
      {"--group", "NAME",
       "the polling group instead (hourly or daily through the group summary selection, the other archives "
       "member by member, closed by \"Итог:\")"},
      {"--archive", "KIND", "hourly, daily, alarm, operative, service or measurement"},
      {"--period", "KIND", "day, month or period (a group's default: period)"},
      {"--from", "DATE", "dd.MM.yyyy (a group's also \"dd.MM.yyyy HH:mm\")"},
      {"--to", "DATE",
       "dd.MM.yyyy, the last gas day of a period (a group's also \"dd.MM.yyyy HH:mm\"; a group's bare date "
       "takes that whole day in, to its 23:00 hour)"},
      {"--breakdown", nullptr, "group: by member (\"разбивка по корректорам\") instead of the whole group"},
      {"--day-totals", nullptr, "group, hourly: a day line every 24 rows (\"итоги за сутки\")"},
      {"--matrix-csv", "FILE", "group: also the member matrix (\"сводная таблица группы\") as CSV"},
      {"--columns", "LIST",
       "hourly and daily: the columns by title or number 1..18 (default Current/PutSet.000)"},
      {"--totals", nullptr, "the CSV file also gets the totals line (\"Строка итогов\")"},
      {"--closed-days", nullptr, "alarm: leave out the gas day not closed yet"},
      {"--out", "FILE", "write the listing as the program saves it (Windows-1251, CR LF)"},
      {"--csv", "FILE",
       "also the listing as CSV, with the delimiter of Current/Delim.000; --out, --csv and --matrix-csv are "
       "written all or, when one cannot be, none"},
      {"--made", "WHEN", "the time the listing says it was made, \"dd.MM.yyyy HH:mm:ss\" (default now)"}}},
    {"modem",
     "modem send TEXT [--wait MS] [--raw|--hex] [--json]   a line to the modem, as the terminal sends it, "
     "and its answer",
     cmdModem,
     {{"--wait", "MS", "how long to collect the answer (default 1000)"},
      {"--raw", nullptr, "send the text as it stands (no blanks removed, no CR)"},
      {"--hex", nullptr, "the text is two-digit hexadecimal bytes, as the terminal's HEX field"}},
     {{"send", kFreeWords}}},
    {"group",
     "group list | show NAME | save NAME [--points ID,…] [--schedule HH:MM-HH:MM-HH:MM,…] [--flags "
     "0XXXXXXXXX] | "
     "delete NAME | summary NAME --archive hourly|daily --from WHEN --to WHEN [--tables] | alarms NAME "
     "--from WHEN --to WHEN [--out FILE] | members NAME [--out FILE] [--json]   the polling groups",
     cmdGroup,
     {{"--archive", "KIND", "summary: hourly or daily"},
      {"--from", "WHEN", "summary, alarms: \"dd.MM.yyyy\" or \"dd.MM.yyyy HH:mm\" (without a time 00:00)"},
      {"--to", "WHEN",
       "summary, alarms: \"dd.MM.yyyy\" or \"dd.MM.yyyy HH:mm\" (without a time 23:00 for the hourly "
       "summary, 23:59 for alarms)"},
      {"--tables", nullptr, "summary: also the first ten members' own tables (\"сводная таблица группы\")"},
      {"--out", "FILE",
       "alarms, members: also write the lines as the program saves them (Windows-1251, CR LF)"},
      {"--points", "LIST",
       "save: the members, by identifier (the others of the registry are listed as non-members)"},
      {"--schedule", "LIST",
       "save: the polling windows, begin-end-period, each beginning after the last ends"},
      {"--flags", "FLAGS",
       "save: \"0\" and nine 0/1: hourly, daily, monthly, alarm, operative, gas, clock, "
       "interference, measurement"}},
     {{"list", 0},
      {"show", kFreeWords},
      {"save", kFreeWords},
      {"delete", kFreeWords},
      {"summary", kFreeWords},
      {"alarms", kFreeWords},
      {"members", kFreeWords}}},
    {"poll",
     "poll --point ID | --group NAME | --schedule [--duty] [--ports COM1,COM3] | --status [--json]   poll as "
     "the polling console does, or watch the poller that does",
     cmdPoll,
     {{"--point", "ID", "one registered point (its own polling flags)"},
      {"--status", nullptr, "what the running poller does (Current/PollState.000) and the day's points"},
      {"--group", "NAME", "one group, from its first member (the group's flags)"},
      {"--schedule", nullptr, "the groups as today's schedule says, until no window is left"},
      {"--duty", nullptr, "with --schedule: keep polling day after day until SIGTERM"},
      {"--ports", "LIST",
       "with --group or --schedule: only the points on these ports (COM1,COM3); the others are left to the "
       "pollers that have their ports"}}},
    {"protocol",
     "protocol poll --point ID|--points [filters]|--group NAME [--from … --to …|--latest] [--type TYPE] "
     "[--connections] | list --points [filters]|--group NAME|--gas [--full] | exchanges [--row N] [--date "
     "dd.MM.yyyy] [--out FILE] [--json]   the polling protocols and lists",
     cmdProtocol,
     {{"--point", "ID", "poll: that metering point alone"},
      {"--points", nullptr, "the registered points that pass the filters (all without one)"},
      {"--group", "NAME", "the members of the group (blanks in the name do not count)"},
      {"--gas", nullptr, "list: the gas compositions"},
      {"--model", "M", "filter: the model (\"тип кор.\")"},
      {"--serial", "S", "filter: the serial number, also without its leading zeros (\"сер.№\")"},
      {"--org", "TEXT", "filter: part of the organisation (\"орган.\")"},
      {"--org-phone", "TEXT", "filter: part of the organisation's telephone (\"тел.орг.\")"},
      {"--owner", "TEXT", "filter: part of the owner (\"влад.\")"},
      {"--phone", "TEXT", "filter: part of the corrector's telephone (\"тел.кор.\")"},
      {"--from", "WHEN", "poll: \"dd.MM.yyyy HH:mm\" or dd.MM.yyyy, the first time stored (\"Дата\")"},
      {"--to", "WHEN", "poll: \"dd.MM.yyyy HH:mm\" or dd.MM.yyyy (the whole day), the last time stored"},
      {"--latest", nullptr, "poll: only each point's latest row (the default)"},
      {"--type", "TYPE", "poll: the storing runs of one kind: модем БД, кабель БД, ДТУ, файл or кабель"},
      {"--connections", nullptr, "poll: the modem connections instead of the storing runs"},
      {"--full", nullptr, "list: a card per point (\"Полный\") instead of the short table"},
      {"--row", "N", "exchanges: the schedule row's exchanges instead of the whole day's"},
      {"--date", "DATE", "exchanges: the day, dd.MM.yyyy (default today)"},
      {"--out", "FILE", "write the text as the program saves it (Windows-1251, CR LF)"},
      {"--made", "WHEN", "the time the title says it was made, \"dd.MM.yyyy HH:mm:ss\" (default now)"}},
     {{"poll", 0}, {"list", 0}, {"exchanges", 0}}},
    {"graph",
     "graph --point ID|--group NAME --archive hourly|daily|monthly|operative|measurement|flow "
     "--from … --to … [--params LIST] [--percent] --out FILE.jpg [--width N --height N] [--json]   "
     "a graph as a JPEG picture",
     cmdGraph,
     {{"--point", "ID", "the metering point's graph"},
      {"--group", "NAME", "the group's graph from its summary (hourly or daily)"},
      {"--archive", "KIND",
       "hourly, daily, monthly, operative, measurement or flow (the hourly flow classes)"},
      {"--from", "WHEN", "\"dd.MM.yyyy\" or \"dd.MM.yyyy HH:mm\" (without a time 00:00)"},
      {"--to", "WHEN", "\"dd.MM.yyyy\" or \"dd.MM.yyyy HH:mm\" (without a time 23:59)"},
      {"--params", "LIST",
       "comma-separated names as the graph dialog lists them, or their numbers (default all)"},
      {"--percent", nullptr, "the percentage scale (\"МАСШТАБ\"), a point's kinds hourly..measurement"},
      {"--out", "FILE",
       "the JPEG file, FILE up to its first dot + \".jpg\", written with the quality of Work/Compr.000"},
      {"--width", "N", "the picture's width in pixels (default 1200)"},
      {"--height", "N", "the picture's height in pixels (default 800)"}}},
    {"dtu",
     "dtu state | read [--first N] [--last N] | zones | load ZONE [--store] [--stop-on-error] [--force] | "
     "test "
     "| erase --yes [--json]   the data-transfer unit on the corrector port",
     cmdDtu,
     {{"--first", "N", "read: the first zone to read (default 1)"},
      {"--last", "N", "read: the last zone to read (default 16; an 8-zone unit stops at 8)"},
      {"--store", nullptr, "load: store the zone's archives as a reading by the transfer unit (\"ДТУ\")"},
      {"--stop-on-error", nullptr, "load: a page whose records do not check ends the load (default: go on)"},
      {"--force", nullptr,
       "load: also a zone without a complete copy (\"Нормальная запись\"), with a warning; refused "
       "otherwise"},
      {"--yes", nullptr, "erase: every zone of the unit is erased"}},
     {{"state", 0}, {"read", 0}, {"zones", 0}, {"load", 1}, {"test", 0}, {"erase", 0}}},
    {"package",
     "package write --point ID [--out FILE] [--overwrite] | write --group NAME | read FILE [--overwrite] | "
     "read --folder DIR [FILE…] | show FILE [--json]   database packages (\"*.tbd\")",
     cmdPackage,
     {{"--point", "ID", "write: the registered point whose data are packed"},
      {"--out", "FILE",
       "write: the package (default Mail_BD/ID.tbd; the name up to its first dot, then .tbd)"},
      {"--group", "NAME", "write: every member of the polling group, into Mail_BD/NAME/ID.tbd"},
      {"--folder", "DIR", "read: the packages of a folder as a group (all of them, or the FILEs named)"},
      {"--overwrite", nullptr,
       "write: replace an existing package; read: replace the data of a point already registered"}},
     {{"write", 0}, {"read", kFreeWords}, {"show", 1}}},
    {"sync",
     "sync run [--from PATH] [--dry-run] [--allow-mass-delete] | viewer [--once] [--from PATH] [--json]   "
     "copy the chosen "
     "files of the master installation (Work/SynDir.000); viewer: a synchronised copy's refresh cycle "
     "(Synchr/Inst.000), a JSON line per event",
     cmdSync,
     {{"--from", "PATH",
       "the master installation's folder (default the link settings' synchronisation path)"},
      {"--dry-run", nullptr, "list what would be copied and deleted, change nothing"},
      {"--allow-mass-delete", nullptr, "run even when more than half of a folder's files would be deleted"},
      {"--once", nullptr,
       "viewer: one cycle to its synchronisation, then exit with the synchronisation's status"}},
     {{"run", 0}, {"viewer", 0}}},
    {"lpt",
     "lpt read [--store] | test --yes [--pattern address|00|ff] [--pause MS] [--device PATH] [--json]   the "
     "single-zone transfer unit on the parallel port",
     cmdLpt,
     {{"--store", nullptr, "read: store the copy's archives as a reading by the transfer unit (\"ДТУ\")"},
      {"--pattern", "P", "test: \"address\" (default), \"00\" or \"ff\""},
      {"--pause", "MS",
       "test: the write time-out (\"Тайм-аут по записи\"), 1..10000 ms, waited after each line written "
       "before it is read back (default the settings' write time-out)"},
      {"--yes", nullptr, "test: the unit's copy of the corrector is erased by the test"},
      {"--device", "PATH", "the parallel port device instead of the settings' (/dev/parport0 for LPT1)"}},
     {{"read", 0}, {"test", 0}}},
    {"schedule",
     "schedule [--at HH:MM] [--json]   today's polling schedule and the row due",
     cmdSchedule,
     {{"--at", "TIME", "the time to find the due row at (default now)"}}},
    {"points",
     "points list|show ID|erase ID|search|config ID [options] | last ID [--out FILE] [--json]   the "
     "registered points",
     cmdPoints,
     {{"--out", "FILE", "last: also write the text file of the last records (Windows-1251, CR LF)"},
      {"--model", "M", "search: the model name"},
      {"--serial", "S", "search: the serial number (also without its leading zeros)"},
      {"--org", "TEXT", "search: part of the organisation's name"},
      {"--owner", "TEXT", "search: part of the owner; config: the owner"},
      {"--org-phone", "TEXT",
       "search: part of the organisation's telephone; config: the organisation's telephone"},
      {"--link", "KIND", "config: none, cable or phone (нет связи, прямое соединение, телефон)"},
      {"--port", "COMn", "config: COM1 … COM25"},
      {"--password", "TEXT", "config: the corrector password for polling"},
      {"--phone", "N", "search: part of the corrector's telephone; config: the corrector's telephone"},
      {"--speed", "N", "config: 1200 … 115200"},
      {"--timeout", "MS", "config: 300 … 10000"},
      {"--break", "S", "config: 1 … 250"},
      {"--repeats", "N", "config: 1 … 200"},
      {"--wait", "S", "config: 10 … 250"},
      {"--pause", "S", "config: 1 … 250"},
      {"--modem-repeats", "N", "config: 1 … 200"},
      {"--init", "TEXT", "config: the modem initialisation string"},
      {"--gas", "NAME", "config: the gas composition"},
      {"--flags", "FLAGS", "config: 11 characters 0/1"}},
     {{"list", 0}, {"show", 1}, {"erase", 1}, {"search", 0}, {"config", 1}, {"last", 1}}},
    {"db",
     "db check [--point ID] [--repair] [--json]   the database's tables against their schema files and the "
     "registry | db use [URL|--files] [--json]   keep the database on a PostgreSQL server "
     "(Work/Database.000), or in the installation's files again; without either, the database in use | "
     "db migrate --to URL | --from URL [--json]   the installation's tables copied to a schema on a "
     "PostgreSQL server, or from one into an installation that holds none, then compared table by table",
     cmdDb,
     {{"--point", "ID", "check: only the registry and this point's tables"},
      {"--repair", nullptr,
       "check: rebuild each faulty table from its schema file with every row that fits, the original kept "
       "beside it as NAME.damaged-TIME; create the tables a registered point lacks"},
      {"--files", nullptr, "use: the installation's own database files again (the setting removed)"},
      {"--to", "URL",
       "migrate: copy into this empty schema on a server (postgresql://USER@HOST/DB?schema=NAME)"},
      {"--from", "URL",
       "migrate: copy from this schema on a server into the installation (--home), which must hold none of "
       "its points, gases or polling days yet"}},
     {{"check", 0}, {"use", kFreeWords}, {"migrate", 0}}},
    {"rows",
     "rows --point ID --archive KIND [--from dd.MM.yyyy] [--to dd.MM.yyyy] [--delete N] [--json]   a point's "
     "stored rows",
     cmdRows,
     {{"--point", "ID", "the metering point, for example t12345"},
      {"--archive", "KIND",
       "hourly, daily, monthly, abnormal, interference, operative, service, measurement or log"},
      {"--from", "DATE", "the first record date"},
      {"--to", "DATE", "the last record date"},
      {"--delete", "N",
       "delete the stored record numbered N (the first field), as \"Удалить запись\" does"}}},
    {"gas",
     "gas list|add|change|delete [--name N] [--density D] [--co2 C] [--n2 N]   gas compositions",
     cmdGas,
     {{"--name", "NAME", "the composition's name"},
      {"--density", "D", "density, kg/m³"},
      {"--co2", "C", "carbon dioxide, %"},
      {"--n2", "N", "nitrogen, %"}},
     {{"list", 0}, {"add", 0}, {"change", 0}, {"delete", 0}}},
    {"scan",
     "scan --mode modem|corrector|adapter|dtu2mb [--lang ua|ru|en] [--speed TEXT]   find the port a device "
     "answers on",
     cmdScan,
     {{"--mode", "MODE", "modem, corrector, adapter or dtu2mb"},
      {"--lang", "LANG", "the log's language: ua, ru or en"},
      {"--speed", "TEXT", "the corrector speed to try"}}},
};

// An error that reaches the event loop is said on stderr like every other message; the command's own
// time-outs still end the run.
struct ErrorSink {
    Notifier* notifier = nullptr;
    void report(const shell::ErrorReport& r) const {
        if (notifier)
            notifier->message(MessageKind::Error, r.text);
        else
            std::fprintf(stderr, "%s\n", r.text.toUtf8().constData());
    }
};

template <typename Base> class GuardedApplication final : public Base {
public:
    GuardedApplication(int& argc, char** argv, ErrorSink& sink) : Base(argc, argv), sink_(sink) {}
    bool notify(QObject* receiver, QEvent* event) override {
        return shell::deliverGuarded([&] { return Base::notify(receiver, event); },
                                     [this](const shell::ErrorReport& r) { sink_.report(r); });
    }

private:
    ErrorSink& sink_;
};

// What the command needs of Qt: a graph is drawn by widgets, a PDF needs the fonts only a GUI application
// has; every other command stays a plain console program. None needs a display: without one the GUI
// kinds run offscreen.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv, const CommandEntry& command,
                                                  const CliRun& run, ErrorSink& sink) {
    if (qstrcmp(command.name, "graph") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<GuardedApplication<QApplication>>(argc, argv, sink);
    }
    if (run.value(QStringLiteral("--pdf"))) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<GuardedApplication<QGuiApplication>>(argc, argv, sink);
    }
    return std::make_unique<GuardedApplication<QCoreApplication>>(argc, argv, sink);
}

std::optional<int> toInt(const QString& s) {
    bool ok = false;
    const int v = s.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// A global option: its help line and what it does with its value (a switch gets none); false, with the
// reason said, when the value is refused.
struct GlobalOption {
    OptionSpec spec;
    bool (*apply)(GlobalOptions& opt, const QString& value, QTextStream& err);
};

std::optional<int> numberOf(const char* flag, const QString& value, QTextStream& err) {
    const auto n = toInt(value);
    if (!n) err << "tarn-cli: " << flag << " needs a number\n";
    return n;
}

// A number outside the range the option's help gives is refused, not moved to the nearest end.
std::optional<int> numberInRange(const char* flag, const QString& value, int lowest, int highest,
                                 QTextStream& err) {
    const auto n = numberOf(flag, value, err);
    if (!n) return n;
    if (*n < lowest || *n > highest) {
        err << "tarn-cli: " << flag << " is " << lowest << ".." << highest << "\n";
        return std::nullopt;
    }
    return n;
}

// The options every command takes before the command word (--json also after it). --help is handled
// by the parser itself.
const std::vector<GlobalOption> kGlobalOptions = {
    {{"--home", "DIR", "the installation's folder (default the program's own)"},
     [](GlobalOptions& o, const QString& v, QTextStream&) {
         o.home = v;
         return true;
     }},
    {{"--port", "NAME", "the corrector port instead of the settings' (COMn, or a device path)"},
     [](GlobalOptions& o, const QString& v, QTextStream&) {
         o.port = v;
         return true;
     }},
    {{"--address", "N", "the corrector's link address, 1..14 (default 1)"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         const auto n = numberInRange("--address", v, 1, 14, err);
         if (n) o.address = *n;
         return n.has_value();
     }},
    {{"--address-book", "ENTRY", "the address book's entry, its address, or an address line as the selection window takes it (1..14, then any \"// comment\") instead of --address"},
     [](GlobalOptions& o, const QString& v, QTextStream&) {
         o.addressBookEntry = v;
         return true;
     }},
    {{"--speed", "TEXT", "the line speed instead of the settings'"},
     [](GlobalOptions& o, const QString& v, QTextStream&) {
         o.speed = v;
         return true;
     }},
    {{"--timeout", "MS", "the reply time-out instead of the settings', 0..10000"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         const auto n = numberInRange("--timeout", v, 0, link::kReplyTimeoutMax, err);
         if (n) o.timeoutMs = *n;
         return n.has_value();
     }},
    {{"--retries", "N", "the exchange repeats instead of the settings', 1..250"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         const auto n = numberInRange("--retries", v, link::kRetryMin, link::kRetryMax, err);
         if (n) o.retries = *n;
         return n.has_value();
     }},
    {{"--phone", "NUMBER", "dial the corrector through the modem first, hang up after"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         if (const QString refused = database::phoneRefusalText(checkPhoneNumber(v), kRussian);
             !refused.isEmpty()) {
             err << "tarn-cli: --phone: " << refused << "\n";
             return false;
         }
         o.phone = v;
         return true;
     }},
    {{"--dial-wait", "S", "with --phone: how long the call may take to come up, 1..250 s (default 60)"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         const auto n = toInt(v);
         if (!n || *n < 1 || *n > 250) {
             err << "tarn-cli: --dial-wait is 1..250 seconds\n";
             return false;
         }
         o.dialWaitSec = *n;
         return true;
     }},
    {{"--trace", "FILE", "write what went over the line into FILE, as the link debugger shows it"},
     [](GlobalOptions& o, const QString& v, QTextStream&) {
         o.traceFile = v;
         return true;
     }},
    {{"--lang", "ua|ru|en", "the language of the messages (en: scan only; default Work/Type_Leng.000)"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         const QString l = v.toLower();
         if (l == QLatin1String("ua"))
             o.language = kUkrainian;
         else if (l == QLatin1String("ru"))
             o.language = kRussian;
         else if (l == QLatin1String("en"))
             o.language = kEnglish; // the port scanner only
         else {
             err << "tarn-cli: --lang is ua, ru or en\n";
             return false;
         }
         return true;
     }},
    {{"--database", "URL",
      "the database on a PostgreSQL server (postgresql://USER@HOST/DB?schema=NAME) instead of the "
      "installation's files or Work/Database.000; the password from ~/.pgpass or PGPASSWORD"},
     [](GlobalOptions& o, const QString& v, QTextStream& err) {
         if (!database::postgres::looksLikeDatabaseUrl(v)) {
             err << "tarn-cli: --database takes a PostgreSQL URL (postgresql://USER@HOST/DB?schema=NAME); "
                    "without it the installation's own database files are used\n";
             return false;
         }
         QString why;
         const auto url = database::postgres::parseDatabaseUrl(v, &why);
         if (!url) {
             err << "tarn-cli: --database: " << why << "\n";
             return false;
         }
         // Kept in its written form, so nothing the user typed beyond the URL's parts is repeated.
         o.database = url->toString();
         return true;
     }},
    {{"--json", nullptr, "the answer as JSON"},
     [](GlobalOptions& o, const QString&, QTextStream&) {
         o.json = true;
         return true;
     }},
    {{"--help", nullptr, "this help; after a command word, the command's own"}, nullptr},
    {{"--version", nullptr, "the program's version"}, nullptr}};

// How a command uses the archive database, which decides what a server database means for it.
enum class DatabaseUse {
    None,    // never touches the tables: no connection is made
    Storage, // works through the storage: the server's schema when one is chosen
    Files,   // works on the table files themselves: refused on a server
    Choice,  // chooses the database itself (db use)
};

DatabaseUse databaseUseOf(const QString& command, const QString& verb) {
    static const QStringList kNone = {
        QStringLiteral("settings"), QStringLiteral("console"),  QStringLiteral("port"),
        QStringLiteral("exchange"), QStringLiteral("identify"), QStringLiteral("params"),
        QStringLiteral("item"),     QStringLiteral("clock"),    QStringLiteral("coef"),
        QStringLiteral("program"),  QStringLiteral("read"),     QStringLiteral("modem"),
        QStringLiteral("scan")};
    if (command == QLatin1String("db"))
        // db migrate names its server itself and copies between it and the installation's files.
        return verb == QLatin1String("use") || verb == QLatin1String("migrate") ? DatabaseUse::Choice
                                                                                : DatabaseUse::Files;
    // A package holds a point's table files, and folder synchronisation copies files between folders.
    if (command == QLatin1String("sync")) return DatabaseUse::Files;
    if (command == QLatin1String("package"))
        return verb == QLatin1String("show") ? DatabaseUse::None : DatabaseUse::Files;
    // Anything not known to stay off the tables connects: a command that reached the files while the user
    // chose a server would put the data where the user does not look for them.
    return kNone.contains(command) ? DatabaseUse::None : DatabaseUse::Storage;
}

// The chosen database made the context's storage before the command runs; kExitOk, or the exit code of
// why the command cannot run (said on stderr).
int openRunDatabase(CliRun& run, const QString& command) {
    const QString verb = run.args.value(0);
    const DatabaseUse use = databaseUseOf(command, verb);
    if (use == DatabaseUse::None || use == DatabaseUse::Choice) return kExitOk;
    const shell::DatabaseChoice& choice = run.database;
    if (!choice.ok()) {
        run.notifier->message(MessageKind::Error, choice.refused);
        return kExitNoLink;
    }
    if (!choice.onServer()) return kExitOk;
    const QString name =
        verb.isEmpty() || command == QLatin1String("sync") ? command : command + QLatin1Char(' ') + verb;
    if (use == DatabaseUse::Files) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral(
                "%1 works on the installation's database files; with a server database (%2) it is not "
                "available: the server keeps its own tables (leave --database out, or run tarn-cli db "
                "use --files, to work on the files)")
                .arg(name, choice.server->toString()));
        return kExitRefused;
    }
    if (const Error why = shell::openChosenDatabase(*run.context, choice); why.failed()) {
        run.notifier->message(MessageKind::Error, why.detail);
        return kExitNoLink;
    }
    return kExitOk;
}

const GlobalOption* findGlobalOption(const QString& name) {
    for (const GlobalOption& g : kGlobalOptions)
        if (name == QLatin1String(g.spec.name)) return &g;
    return nullptr;
}

void printOptions(QTextStream& out, const std::vector<OptionSpec>& options, const char* indent) {
    for (const OptionSpec& o : options)
        out << indent << QString::fromLatin1(o.name)
            << (o.valueName ? QStringLiteral(" ") + QString::fromLatin1(o.valueName) : QString()) << "\n"
            << indent << "    " << QString::fromUtf8(o.help) << "\n";
}

void printGlobalOptions(QTextStream& out) {
    printOptions(out, globalOptionTable(), "  ");
}

// --help: every option of every command; after a mistake only the commands' lines.
void printUsage(QTextStream& err, bool withOptions = false) {
    err << "usage: tarn-cli [global options] COMMAND [WORDS] [options]\n"
           "global options:\n";
    printGlobalOptions(err);
    err << "commands:\n";
    for (const auto& c : kCommands) {
        err << "  " << c.usage << "\n";
        if (withOptions) printOptions(err, c.options, "      ");
    }
    err.flush();
}

void printCommandHelp(QTextStream& out, const CommandEntry& c) {
    out << "usage: tarn-cli [global options] " << c.usage << "\n";
    if (!c.options.empty()) out << "options:\n";
    printOptions(out, c.options, "  ");
    out << "global options:\n";
    printGlobalOptions(out);
    out.flush();
}

// The words after the command word against the command's verbs: a command without verbs takes none, a
// verb takes as many as it says. A first word that is no verb is left to the command, which names its verbs.
bool wordsFit(const CommandEntry& c, const QStringList& words, QTextStream& err) {
    qsizetype allowed = 0;
    if (!c.verbs.empty() && !words.isEmpty()) {
        allowed = words.size();
        for (const VerbSpec& v : c.verbs)
            if (words.first() == QLatin1String(v.verb))
                allowed = v.words == kFreeWords ? words.size() : 1 + v.words;
    }
    if (words.size() <= allowed) return true;
    err << "tarn-cli " << c.name << ": unexpected " << words.mid(allowed).join(QLatin1Char(' ')) << "\n";
    err << "usage: tarn-cli [global options] " << c.usage << "\n";
    err.flush();
    return false;
}

// The command's own arguments against its table: an unknown option, or one without its value, is a
// usage error, never silently ignored. Returns false (and says why) when they do not fit.
bool parseCommandOptions(const CommandEntry& c, const QStringList& rest, CliRun& run, bool& helpAsked,
                         QTextStream& err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionSpec& o : c.options) {
        const QString name = QString::fromLatin1(o.name).mid(2);
        if (o.valueName)
            parser.addOption(
                QCommandLineOption(name, QString::fromUtf8(o.help), QString::fromLatin1(o.valueName)));
        else
            parser.addOption(QCommandLineOption(name, QString::fromUtf8(o.help)));
    }
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("tarn-cli")} + rest)) {
        err << "tarn-cli " << c.name << ": " << parser.errorText() << "\n";
        err << "usage: tarn-cli [global options] " << c.usage << "\n";
        err.flush();
        return false;
    }
    helpAsked = parser.isSet(help);
    run.args = parser.positionalArguments();
    if (!helpAsked && !wordsFit(c, run.args, err)) return false;
    for (const OptionSpec& o : c.options) {
        const QString name = QString::fromLatin1(o.name);
        if (parser.isSet(name.mid(2)))
            run.optionValues.insert(name, o.valueName ? parser.value(name.mid(2)) : QString());
    }
    return true;
}

// --address-book: the entry as the book of the current language offers it (or its address) is chosen as the
// selection window chooses it; anything else gets the window's message.
bool chooseBookEntry(shell::AppContext& context, const QString& text, Notifier& notifier) {
    const int language = context.languageIndex();
    const link::AddressOffer offer =
        link::offerAddresses(context.root(), language, QString(), link::newAddressBookLines(language));
    if (offer.writeFailed)
        notifier.message(MessageKind::Error, link::fileNotWrittenText(language, offer.path));
    // A bare address names the book's line; otherwise, as in the selection window's field, any address
    // line is taken, whether the book lists it or it is typed anew.
    const std::optional<QString> entry = link::findOfferedEntry(offer.entries, text);
    if (context.chooseAddress(entry.value_or(text))) return true;
    notifier.message(MessageKind::Error, link::wrongAddressText(language));
    return false;
}

} // namespace

void ConsoleNotifier::message(MessageKind kind, const QString& text) {
    messages.append(text);
    const char* prefix = kind == MessageKind::Error     ? "error: "
                         : kind == MessageKind::Warning ? "warning: "
                                                        : "";
    std::fprintf(stderr, "%s%s\n", prefix, text.toUtf8().constData());
}

bool ConsoleNotifier::confirm(const QString& text) {
    std::fprintf(stderr, "question (answered no): %s\n", text.toUtf8().constData());
    return false;
}

std::optional<QString> CliRun::value(const QString& flag) const {
    const auto it = optionValues.constFind(flag);
    if (it == optionValues.constEnd()) return std::nullopt;
    return *it;
}

void CliRun::printJson(const QJsonObject& object) const {
    *out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
    out->flush();
}

int runCli(int argc, char** argv) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    // The command line is read whole before the application is made: what kind of application that is
    // follows from the command and its options, never from a word that may be another option's value.
    QStringList all;
    for (int k = 0; k < argc; ++k)
        all.append(QString::fromLocal8Bit(argv[k]));

    GlobalOptions opt;
    QString commandName;
    QStringList rest;
    for (qsizetype i = 1; i < all.size(); ++i) {
        const QString a = all.at(i);
        const GlobalOption* global = findGlobalOption(a);
        if (!commandName.isEmpty()) {
            // A global switch may also follow the command word; everything else there is the command's.
            if (global && global->apply && !global->spec.valueName)
                global->apply(opt, QString(), err);
            else
                rest.append(a);
            continue;
        }
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            printUsage(out, true);
            return kExitOk;
        }
        if (a == QLatin1String("--version")) {
            out << "tarn-cli " << kProgramVersion << "\n";
            return kExitOk;
        }
        // For the build, which installs what they write; not in the help.
        if (a == QLatin1String("--man")) {
            writeManPage(out);
            return kExitOk;
        }
        if (a == QLatin1String("--completion")) {
            if (i + 1 < all.size() && all.at(i + 1) == QLatin1String("bash")) {
                writeBashCompletion(out);
                return kExitOk;
            }
            err << "tarn-cli: --completion bash\n";
            return kExitUsage;
        }
        if (global) {
            QString value;
            if (global->spec.valueName) {
                if (i + 1 >= all.size()) {
                    err << "tarn-cli: " << a << " needs a value\n";
                    return kExitUsage;
                }
                value = all.at(++i);
            }
            if (!global->apply(opt, value, err)) return kExitUsage;
        } else if (a.startsWith(QLatin1String("--"))) {
            err << "tarn-cli: unknown option " << a << "\n";
            printUsage(err);
            return kExitUsage;
        } else {
            commandName = a;
        }
    }
    const CommandEntry* entry = nullptr;
    for (const auto& c : kCommands)
        if (commandName == QLatin1String(c.name)) entry = &c;
    if (!entry) {
        if (!commandName.isEmpty()) err << "tarn-cli: unknown command " << commandName << "\n";
        printUsage(err);
        return kExitUsage;
    }
    if (opt.language == kEnglish && commandName != QLatin1String("scan")) {
        err << "tarn-cli: --lang en is for scan only\n";
        return kExitUsage;
    }
    if (opt.address && opt.addressBookEntry) {
        err << "tarn-cli: --address and --address-book exclude each other\n";
        return kExitUsage;
    }
    CliRun run;
    bool helpAsked = false;
    if (!parseCommandOptions(*entry, rest, run, helpAsked, err)) return kExitUsage;
    if (helpAsked) {
        printCommandHelp(out, *entry);
        return kExitOk;
    }

    ErrorSink sink;
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv, *entry, run, sink);
    ConsoleNotifier notifier;
    sink.notifier = &notifier;
    const DataRoot root = DataRoot::resolve(opt.home, QCoreApplication::applicationDirPath());
    shell::AppContext context(root, notifier, std::make_unique<link::QtSerialPort>());
    shell::applyProgramFormats();
    context.setLanguageIndex(opt.language.value_or(loadLanguage(root, kUkrainian)));
    if (QFileInfo::exists(context.settingsFiles().settingsPath())) shell::loadLinkSettings(context);
    applyLinkOptions(opt, context.settings());
    context.serviceLevel = 0;
    context.loadVolumePrecision();
    context.configuredAddress = opt.address.value_or(1);
    context.applyLinkSettings();
    if (opt.addressBookEntry && !chooseBookEntry(context, *opt.addressBookEntry, notifier)) {
        sink.notifier = nullptr;
        return kExitUsage;
    }

    run.options = opt;
    run.notifier = &notifier;
    run.context = &context;
    run.out = &out;
    run.database = shell::chooseDatabase(root, opt.database);
    if (const int refused = openRunDatabase(run, commandName); refused != kExitOk) {
        sink.notifier = nullptr;
        return refused;
    }
    const int code =
        opt.phone ? runOverPhone(run, *opt.phone, [&] { return entry->run(run); }) : entry->run(run);
    sink.notifier = nullptr; // the notifier goes first
    return code;
}

const std::vector<CommandEntry>& commandTable() {
    return kCommands;
}

std::vector<OptionSpec> globalOptionTable() {
    std::vector<OptionSpec> specs;
    for (const GlobalOption& g : kGlobalOptions)
        specs.push_back(g.spec);
    return specs;
}

void applyLinkOptions(const GlobalOptions& opt, link::LinkSettings& s) {
    if (opt.port) s.corrPort = *opt.port;
    if (opt.speed) s.speed = *opt.speed;
    if (opt.timeoutMs) s.replyTimeoutMs = *opt.timeoutMs;
    if (opt.retries) s.retryCount = *opt.retries;
}

std::optional<QString> linkKindFromText(const QString& text) {
    static const std::pair<const char*, const char*> kKinds[] = {
        {"none", "нет связи"}, {"cable", "прямое соединение"}, {"phone", "телефон"}};
    const QString t = text.trimmed();
    for (const auto& [word, kind] : kKinds)
        if (t.compare(QLatin1String(word), Qt::CaseInsensitive) == 0 || t == QString::fromUtf8(kind))
            return QString::fromUtf8(kind);
    return std::nullopt;
}

std::optional<database::Schemas> installationSchemas(CliRun& run) {
    database::writeMissingSchemaFiles(run.context->root());
    database::Schemas s = database::loadSchemas(run.context->root());
    if (!s.ok) {
        run.notifier->message(MessageKind::Error, s.error);
        return std::nullopt;
    }
    // The context's storage reads its tables with them.
    run.context->schemas = s;
    return s;
}

database::Storage* installationStorage(CliRun& run, bool tell) {
    database::writeMissingSchemaFiles(run.context->root());
    run.context->schemas = database::loadSchemas(run.context->root());
    if (run.context->schemas.ok) return &run.context->storage();
    if (tell) run.notifier->message(MessageKind::Error, run.context->schemas.error);
    return nullptr;
}

database::Storage* loadedStorage(CliRun& run) {
    run.context->schemas = database::loadSchemas(run.context->root());
    if (run.context->schemas.ok) return &run.context->storage();
    run.notifier->message(MessageKind::Error, run.context->schemas.error);
    return nullptr;
}

} // namespace tarn::cli
