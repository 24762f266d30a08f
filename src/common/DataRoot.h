#pragma once
// The data root of an installation: the folder that holds Work\, Current\, Data\ and the other folders.
// It is --home DIR when given, else the environment variable TARN_HOME, else the executable's folder;
// a program installed system-wide (PREFIX/bin beside PREFIX/share/tarn) uses the user's data folder
// instead, $XDG_DATA_HOME/tarn (~/.local/share/tarn).
#include <QString>
#include <QStringList>

namespace tarn {

namespace folder {
inline constexpr const char* Work = "Work";
inline constexpr const char* Current = "Current";
inline constexpr const char* Data = "Data";
inline constexpr const char* Doc = "Doc";
inline constexpr const char* Group = "Group";
inline constexpr const char* Graph = "Graph";
inline constexpr const char* Report = "Report";
inline constexpr const char* Text = "Text";
inline constexpr const char* Excel = "Excel";
inline constexpr const char* Param = "Param";
inline constexpr const char* Join = "Join";
inline constexpr const char* Pack = "pack";
inline constexpr const char* Synchr = "Synchr";
inline constexpr const char* Rebuild = "Rebuild";
inline constexpr const char* MailBD = "Mail_BD";
inline constexpr const char* Sound = "Sound";
inline constexpr const char* BookQ = "BookQ";
inline constexpr const char* Hour = "Hour";
inline constexpr const char* Day = "Day";
inline constexpr const char* Mon = "Mon";
inline constexpr const char* Alarm = "Alarm";
inline constexpr const char* Chang = "Chang";
inline constexpr const char* Oper = "Oper";
inline constexpr const char* Spec = "Spec";
inline constexpr const char* Meas = "Meas";
inline constexpr const char* StatCsv = "Stat_CSV";
inline constexpr const char* QuesCsv = "Ques_CSV";
} // namespace folder

// Whether the executable's folder is PREFIX/bin of a system-wide installation (PREFIX/share/tarn exists).
bool isSystemProgramFolder(const QString& exeFolder);

// Every folder of a complete installation, in the case the installations use.
QStringList installationFolders();

class DataRoot {
public:
    DataRoot() = default;
    explicit DataRoot(QString root);

    // Chooses the root: explicit (from --home), else TARN_HOME, else exeFolder (for a system-wide
    // installation the user's data folder).
    static DataRoot resolve(const QString& explicitHome, const QString& exeFolder);

    const QString& root() const { return root_; }
    // root/folder
    QString dir(const char* folderName) const;
    // root/folder/file. The file name must be a plain name (no separators, no ".."): anything else
    // yields an empty path, so user text can never point outside the installation.
    QString file(const char* folderName, const QString& fileName) const;

    // Creates every folder of the installation that is missing. Returns false when one could not be made.
    bool createFolders() const;

private:
    QString root_;
};

// True for a plain file name: not empty, no '/', '\\', no "." or "..", no NUL.
bool isPlainFileName(const QString& name);

} // namespace tarn
