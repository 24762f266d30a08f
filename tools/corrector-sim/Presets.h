#pragma once
// Ready-made correctors, one per model family: {"role": "corrector", "preset": "series1", …} fills the
// identification, the whole parameter memory and the measurements consistently for that family before
// the scenario's own entries ("address", "serial", "words", "archive", …) are applied on top.
#include <QString>
#include <vector>

namespace tarn::sim {

class CorrectorMemory;

struct PresetInfo {
    const char* name;
    const char* description;
};

// Every preset with its one-line description, in the order --list-presets prints them.
const std::vector<PresetInfo>& presets();

// Fills memory as the named preset; false with error for an unknown name.
bool applyPreset(CorrectorMemory& memory, const QString& name, QString& error);

} // namespace tarn::sim
