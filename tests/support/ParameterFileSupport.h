#pragma once
// A member's parameter file as storing leaves it: a series-1 corrector with its serial number and, when
// given, its organisation (item 45) and pipeline (item 44).
#include "common/Cp1251.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/CorrectorWindowModel.h"
#include "support/DetachedCorrector.h"
#include "corrector/DeviceValues.h"
#include "support/TestSupport.h"

namespace tarn::test {

inline bool writeMemberParameterFile(const DataRoot& root, const QString& identifier, int serial,
                                     const QString& organisation = {}, const QString& pipeline = {}) {
    RecordingNotifier n;
    corrector::DetachedCorrector c(n, kRussian);
    corrector::CorrectorWindowModel& model = c.model();
    const corrector::IdentificationString id = identification('A', "V46a");
    model.setIdentification(id);
    model.setProfile(corrector::DeriveModelProfile(id, 0));
    QByteArray memory(192 * 4, '\0');
    auto text = [&memory](int word, const QString& t) {
        if (!t.isEmpty()) memory.replace(word * 4, 32, toCp1251(t).leftJustified(32, ' '));
    };
    memory.replace(99 * 4, 4, corrector::i32Bytes(serial));
    text(113, organisation);
    text(121, pipeline);
    model.StartFullRead();
    for (int page = 0; page < 3; ++page)
        model.onPageAccepted(quint16(64 * page), memory.mid(64 * page * 4, 256));
    model.onFullReadComplete();
    return corrector::writePointParameterFile(model.reading(),
                                              corrector::pointParameterFilePath(root, identifier));
}

} // namespace tarn::test
