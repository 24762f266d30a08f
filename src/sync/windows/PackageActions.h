#pragma once
// "Сохранить файл  *.tbd" and "Открыть файл  *.tbd" as the database windows, the corrector window and the
// polling console offer them: the file dialog (starting in Mail_BD\), the questions, the pack/unpack
// window, and the message at the end. The windows that show a point's tables let go of them first.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "database/Schema.h"
#include "link/LinkSettings.h"
#include "sync/PointPackage.h"

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace tarn::sync {

// "Файл в формате (*.tbd)"
QString packageFilter();

struct PackageUi {
    DataRoot root;
    const database::Schemas* schemas = nullptr;
    Notifier* notifier = nullptr;
    int language = kRussian;
    link::LinkSettings settings;
    // The file dialog (tests answer it): save or open, the folder, the filter, the name proposed.
    std::function<QString(bool save, const QString& folder, const QString& filter, const QString& proposed)>
        chooseFile;
    // Milliseconds before the pack/unpack window starts its work.
    int startDelayMs = 50;
};

// Packs the point into a package the user chooses; true when it was written.
bool savePointPackage(QWidget* parent, const PackageUi& ui, const QString& identifier);
// Unpacks a package the user chooses; nothing when no file was chosen.
std::optional<UnpackOutcome> openPointPackage(QWidget* parent, const PackageUi& ui);

} // namespace tarn::sync
