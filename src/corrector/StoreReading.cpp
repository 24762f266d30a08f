#include "corrector/StoreReading.h"

#include "corrector/CorrectorFiles.h"
#include "corrector/LinkTexts.h"
#include "corrector/ReadQueue.h"
#include "corrector/ValueLists.h"
#include "database/Gases.h"
#include "link/PortMap.h"

namespace tarn::corrector {

namespace {
// The stored-items flag of each archive kind.
constexpr std::pair<int, int> kFlagOfKind[] = {{3, 2}, {4, 3}, {5, 4}, {6, 5}, {9, 6}, {7, 9}, {10, 11}};
// The oldest firmware (before 44s) has an identifier family of its own.
constexpr const char* kOlderFirmwareBelow = "44s";
} // namespace

QString itemsToRead(const QList<int>& kindsRead) {
    QString items(11, QLatin1Char('0'));
    for (const auto& [kind, flag] : kFlagOfKind)
        if (kindsRead.contains(kind)) items[flag - 1] = QLatin1Char('1');
    return items;
}

database::StoreContext storeContextFor(const Reading& reading, int lang, const QList<int>& kindsRead) {
    const ModelProfile& profile = reading.profile;
    const QString serial = serialText(static_cast<quint32>(reading.image.wordInt32(99)));
    const bool older =
        !profile.versionCode.isEmpty() && profile.versionCode < QLatin1String(kOlderFirmwareBelow);
    database::StoreContext c;
    // The family's letter rules look at the whole version tag (characters 12..15 of the identification,
    // "R46a"), not at the version code alone.
    c.identifier = database::pointIdentifier(
        profile.modelLetter, QString(profile.modelLetter) + profile.versionCode, older, serial);
    c.serial = serial;
    c.model = profile.modelName;
    c.pressureUnit = ChoiceText(ValueList::PressureUnits, reading.image.pressureInMpa() ? 1 : 0, lang);
    c.volumeUnit = reading.image.showsMass(profile) ? QStringLiteral("кг") : QStringLiteral("м.куб");
    c.gasName = ChoiceText(ValueList::GasNames, profile.gasSelection ? reading.image.gasIndex() : 0, lang);
    if (profile.heatEnergy)
        c.heatUnit = ChoiceText(ValueList::HeatUnits, reading.image.heatInGj() ? 1 : 0, lang);
    c.volumeDecimals = reading.volumeDecimals;
    c.sourceKind = database::sourceKindNumber(reading.source);
    c.itemsToRead = itemsToRead(kindsRead);
    c.comment = blankedRecordsComment(reading.archives);
    // The parameters in hand become the point's parameter file (reports and programming read it back).
    if (reading.image.isRead(99) && reading.kindRead(read_kind::Parameters))
        c.writeParameterFile = [&reading](const QString& path) {
            return writePointParameterFile(reading, path);
        };
    if (kindsRead.contains(read_kind::Measurement) && reading.measurement) {
        const MeasurementBlock& m = *reading.measurement;
        const bool standardFlow = profile.meterCoefModel || profile.hasCalibrationTable();
        c.measurement = database::MeasurementValues{
            m.pressureText,        m.temperatureText, m.correctionFactorText,
            m.compressibilityText, m.flowText,        standardFlow ? m.standardFlowText : QStringLiteral("0"),
            m.batteryVoltageText,  m.stateText};
    }
    return c;
}

database::Point newPointFor(const Reading& reading, const link::LinkSettings& s, int address,
                            const database::StoreContext& c) {
    database::Point p;
    p.identifier = c.identifier;
    p.serial = c.serial;
    p.model = c.model;
    p.organisation = reading.itemText(45);
    p.pipeline = reading.itemText(44);
    p.address = address;
    p.config = {p.organisation,
                QString(),
                s.modemUsed ? QStringLiteral("телефон") : QStringLiteral("прямое соединение"),
                s.corrPort,
                QString(),
                QString(),
                s.speed,
                QString::number(s.replyTimeoutMs),
                s.modemHoldSec,
                QString::number(s.retryCount),
                QStringLiteral("60"),
                QStringLiteral("10"),
                QStringLiteral("3"),
                s.modemInit,
                c.gasName,
                c.itemsToRead};
    return p;
}

QStringList configuratorGasNames(database::Storage& storage, int lang) {
    QStringList names = database::Gases(storage).names();
    if (names.isEmpty()) names.append(ChoiceText(ValueList::GasNames, 0, lang));
    return names;
}

QString synchronisedCopyText() {
    return QStringLiteral(
        "a synchronised copy stores nothing: its database comes from the master installation");
}

StoreRequestResult storeAfterReading(const DataRoot& root, database::Storage& storage, const Reading& reading,
                                     const link::LinkSettings& settings, int address, int lang,
                                     const QList<int>& kindsRead, const StoreRequestHooks& hooks) {
    StoreRequestResult r;
    // Without a serial number there is no point to store under.
    if (!reading.hasSerial() || !storage.schemas().ok) return r;
    // A synchronised copy takes its database from the master installation, which would overwrite
    // anything stored here.
    if (settings.syncOn) {
        r.error = synchronisedCopyText();
        return r;
    }
    database::StoreContext c = storeContextFor(reading, lang, kindsRead);
    c.csv = database::readCsvSideOutput(root);
    if (hooks.adjustContext) hooks.adjustContext(c);
    r.identifier = c.identifier;
    database::Registry registry(root, storage);
    if (!registry.ok()) {
        r.error = registry.error();
        return r;
    }
    const database::PointLookup known = registry.find(c.identifier);
    if (known.failed()) {
        // A registry that cannot be read is no unknown corrector: adding it again would duplicate it.
        r.error = known.error();
        return r;
    }
    if (known) {
        // The header follows the corrector: enterprise, pipeline and address as just read. A field that
        // cannot be written stops the store: the archives would go under a header that is not the
        // corrector's.
        const std::pair<int, QString> header[] = {
            {6, reading.itemText(45)}, {7, reading.itemText(44)}, {8, QString::number(address)}};
        const QString stored[] = {known->organisation, known->pipeline, QString::number(known->address)};
        QList<std::pair<int, QString>> changed;
        for (std::size_t i = 0; i < std::size(header); ++i)
            if (stored[i] != header[i].second) changed.append(header[i]);
        // One transaction: a program ended between two of them leaves the old header, never half of it.
        if (!registry.updateFields(c.identifier, changed)) {
            r.error = registry.error();
            return r;
        }
    } else {
        database::Point p = newPointFor(reading, settings, address, c);
        // The point keeps the port by its name: a device path cut to the field would never be polled.
        const auto port = link::PortMap::load(root).pointPortName(settings.corrPort);
        if (!port) {
            r.error = unmappedPortText(settings.corrPort);
            return r;
        }
        p.config[database::config::Port] = *port;
        if (hooks.configureNewPoint && !hooks.configureNewPoint(p)) return r;
        if (!registry.add(p)) {
            r.error = registry.error();
            return r;
        }
        r.added = true;
    }
    const ArchiveStore store = [&](const StoreProgress& progress) {
        return database::storeReading(root, storage, ArchiveTableRows(reading.archives), c, progress);
    };
    r.result = hooks.runStore ? hooks.runStore(store) : store(hooks.progress);
    r.stored = r.result.ok;
    if (!r.result.ok && !r.result.stopped) r.error = r.result.error;
    return r;
}

} // namespace tarn::corrector
