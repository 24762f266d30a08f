#include "shell/AppContext.h"

#include "common/Language.h"
#include "corrector/LinkTexts.h"
#include "corrector/VolumePrecision.h"
#include "database/postgres/PgPointClaims.h"
#include "link/AddressBook.h"

namespace tarn::shell {

AppContext::AppContext(DataRoot root, Notifier& notifier, std::unique_ptr<link::SerialPort> port)
    : AppContext(std::move(root), notifier, std::move(port), std::make_unique<SystemClock>(), nullptr) {}

AppContext::AppContext(DataRoot root, Notifier& notifier, std::unique_ptr<link::SerialPort> port,
                       Clock& clock)
    : AppContext(std::move(root), notifier, std::move(port), nullptr, &clock) {}

AppContext::AppContext(DataRoot root, Notifier& notifier, std::unique_ptr<link::SerialPort> port,
                       std::unique_ptr<Clock> ownClock, Clock* clock)
    : root_(std::move(root)), storage_(std::make_unique<database::SqliteStorage>(root_, schemas)),
      groupFiles_(std::make_unique<database::FolderGroupFiles>(root_)), notifier_(notifier),
      ownClock_(std::move(ownClock)), clock_(clock ? *clock : *ownClock_), port_(std::move(port)),
      linkPort_(*port_, notifier_), engine_(linkPort_, notifier_, clock_), files_(root_),
      operationStart_(engine_, linkPort_, settings_, notifier_), readRun_(engine_, settings_) {
    linkPort_.setPortMap(link::PortMap::load(root_));
    engine_.setLinkLog(&linkLog_);
    engine_.setWording(&corrector::correctorLinkWording());
    linkPort_.setWording(&corrector::correctorLinkWording());
}

void AppContext::applyLinkSettings() {
    const auto& s = settings_;
    linkPort_.configure(s.corrPort, s.speed, s.modemUsed);
    engine_.configure(s, configuredAddress);
    selectedEntry_.clear();
}

polling::PollingRun::Parts AppContext::pollingParts() {
    polling::PollingRun::Parts parts{{root_, *storage_, engine_, linkPort_, settings_, notifier_,
                                      [this](int address) {
                                          configuredAddress = address;
                                          applyLinkSettings();
                                      },
                                      volumeDecimals, clock_},
                                     &lineHold_};
    parts.groups = groupFiles_.get();
    if (!server_) return parts;
    if (!serverClaims_) {
        Error error;
        serverClaims_ = database::postgres::PgPointClaims::open(*server_, &error);
        if (!serverClaims_) {
            parts.claimsUnavailable =
                uaRu(languageIndex_,
                     "опитування неможливе: не вдалося відкрити зайняття приладів на сервері: ",
                     "опрос невозможен: не удалось открыть занятия приборов на сервере: ") +
                error.detail;
            return parts;
        }
    }
    parts.claims = serverClaims_.get();
    return parts;
}

void AppContext::useStorage(std::unique_ptr<database::Storage> storage,
                            std::unique_ptr<database::GroupFiles> groups,
                            database::postgres::DatabaseUrl server) {
    serverClaims_.reset();
    storage_ = std::move(storage);
    groupFiles_ = std::move(groups);
    server_ = std::move(server);
}

void AppContext::useFiles() {
    serverClaims_.reset();
    storage_ = std::make_unique<database::SqliteStorage>(root_, schemas);
    groupFiles_ = std::make_unique<database::FolderGroupFiles>(root_);
    server_.reset();
}

void AppContext::loadVolumePrecision() {
    const corrector::VolumePrecision precision = corrector::loadVolumePrecision(root_);
    volumeDecimals = precision.decimals;
    if (precision.rejected() && !volumePrecisionTold_) {
        volumePrecisionTold_ = true;
        notifier_.message(MessageKind::Warning,
                          corrector::rejectedVolumePrecisionText(
                              precision, corrector::volumePrecisionPath(root_), languageIndex_));
    }
}

bool AppContext::chooseAddress(const QString& entry) {
    const std::optional<int> address = link::parseAddress(entry);
    if (!address) return false;
    configuredAddress = *address;
    engine_.settings().deviceAddress = *address;
    selectedEntry_ = entry;
    return true;
}

void AppContext::setLanguageIndex(int index) {
    languageIndex_ = index;
    linkPort_.setLanguage(index);
    linkLog_.setLanguage(index);
    engine_.setLanguage(index);
    operationStart_.setLanguage(index);
    readRun_.setLanguage(index);
}

} // namespace tarn::shell
