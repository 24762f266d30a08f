#pragma once
// What one reading holds, whoever made it: the corrector through the session, a file loaded, a transfer
// unit's zone. It is a plain value: the window model shows one, and storing, the files, the reports and
// the workbook take one without a window or a link behind it.
#include "corrector/Archives.h"
#include "corrector/Blocks.h"
#include "corrector/Fields.h"
#include "corrector/HeaderPanel.h"
#include "corrector/Identification.h"
#include "corrector/ItemTable.h"
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"
#include "corrector/ReadQueue.h"
#include "corrector/SourceKind.h"
#include "corrector/Units.h"
#include "corrector/VolumePrecision.h"

#include <QString>
#include <array>
#include <optional>

namespace tarn::corrector {

struct Reading {
    // The identification the profile came from; the files keep it as the software-version line.
    IdentificationString identification;
    ModelProfile profile;
    ParameterImage image;
    // The archive tables; storing and the reports read them cell by cell.
    ArchiveTables archives;
    // The clock block last read (kind 14).
    std::optional<ClockBlock> clock;
    // The instantaneous measurement, when one was taken.
    std::optional<MeasurementBlock> measurement;
    // The read kinds 1..27 whose data the reading holds (the files keep them as the "done" line).
    std::array<bool, kMaxReadKind + 1> kindsRead{};
    // Whose data it is: the serial number (word 99, or the first item reply) and the complex mark.
    HeaderPanel header;
    // Every field's text in languageIndex, as the window shows it and the files and reports print it.
    std::array<QString, kFieldCount> texts;
    int languageIndex = 1;
    // The installation's volume decimals (loadVolumePrecision) the archive volumes are shown with.
    int volumeDecimals = kDefaultVolumeDecimals;
    SourceKind source = SourceKind::Unknown;

    Reading() { clear(); }

    const QString& text(Field field) const { return texts[static_cast<std::size_t>(field)]; }
    void setText(Field field, const QString& text) { texts[static_cast<std::size_t>(field)] = text; }
    bool hasSerial() const { return header.serial().has_value(); }
    bool kindRead(int kind) const { return kind >= 1 && kind <= kMaxReadKind && kindsRead[kind]; }
    void markKindRead(int kind, bool read = true) {
        if (kind >= 1 && kind <= kMaxReadKind) kindsRead[kind] = read;
    }
    // The value of an item as the image holds it ("X" before it was read), the pressures in kgf/cm².
    QString itemText(int item) const;
    // What the archive decoders need: the profile and the image of the last parameter read.
    ArchiveContext archiveContext() const { return {profile, image, languageIndex, volumeDecimals}; }
    // The row of the archive's newest record (its pointer), when the table reaches it; nothing when the
    // pointer lies before the first row or beyond the table.
    std::optional<int> newestRecordRow(Archive archive) const;

    // Nothing read: the image, the archives, the serial number and the kinds are gone and every field
    // shows "X" (the date and time their blanks). The identification, the profile, the clock and the
    // measurement stay: the operation start and the block reads replace them.
    void clear();
};

// The value of an item from the image in the context's units ("X" before it was read; nothing for an
// item the image does not keep).
QString itemTextFromImage(const ParameterImage& image, int item, const ItemContext& context);

// The fields the image fills, in the units given: every item, the meter output, the interface, the
// volumes and heat, the header. The date and the time come from the clock or an item reply instead.
void fillTextsFromImage(Reading& reading, GaugeUnit gaugeUnit, BaroUnit baroUnit);
// After a full parameter read, or a file: the serial number is word 99's, the model named after it and
// the fields filled from the image. False (and nothing done) while word 99 is unread.
bool completeFullRead(Reading& reading, GaugeUnit gaugeUnit = GaugeUnit::KgfCm2,
                      BaroUnit baroUnit = BaroUnit::KgfCm2);

} // namespace tarn::corrector
