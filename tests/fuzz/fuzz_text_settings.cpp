// The installation's Windows-1251 settings and schema files: the same bytes stand as each of them in
// turn and are read as the program reads it at start-up (link settings, tuning, CSV delimiter, panel
// sizes, report options, language, volume precision, every table's schema file).
//   input: the file's bytes
#include "FuzzDriver.h"

#include "common/Cp1251.h"
#include "common/DataRoot.h"
#include "common/Language.h"
#include "common/LanguageFile.h"
#include "common/TextFile.h"
#include "common/TuningFiles.h"
#include "corrector/VolumePrecision.h"
#include "database/Schema.h"
#include "link/LinkSettings.h"
#include "reports/ReportOptionsFile.h"

#include <QFile>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const DataRoot root(fuzz::scratch().filePath(QStringLiteral("settings")));
    (void)toCp1251(fromCp1251(input));

    const link::SettingsFiles files(root);
    fuzz::putFile(files.settingsPath(), input);
    fuzz::putFile(files.tuningPath(), input);
    link::LinkSettings settings;
    (void)link::loadSettings(files, settings);

    fuzz::putFile(tuningPath(root), input);
    (void)loadTuning(root);
    fuzz::putFile(delimiterPath(root), input);
    (void)loadDelimiter(root);
    fuzz::putFile(panelSizesPath(root), input);
    (void)loadPanelSizes(root);
    fuzz::putFile(files.reportPath(), input);
    (void)reports::loadReportWindowOptions(root);
    fuzz::putFile(languageFilePath(root), input);
    (void)loadLanguage(root, kRussian);
    fuzz::putFile(corrector::volumePrecisionPath(root), input);
    (void)corrector::loadVolumePrecision(root);

    const QString schemaPath = root.file(folder::Work, QStringLiteral("schema.000"));
    fuzz::putFile(schemaPath, input);
    const std::optional<QStringList> lines = readTextLines(schemaPath);
    for (database::TableKind kind : database::kSchemaLoadOrder)
        (void)database::parseSchema(kind, lines.value_or(QStringList()), QStringLiteral("schema.000"));
    return 0;
}
