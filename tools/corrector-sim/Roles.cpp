// The kinds of device a scenario may name.
#include "AdapterRole.h"
#include "CorrectorRole.h"
#include "Dtu16Role.h"
#include "Dtu2mbRole.h"
#include "ModemRole.h"
#include "Role.h"
#include "ScriptedRole.h"

namespace tarn::sim {

std::unique_ptr<Role> makeRole(const QJsonObject& config, QString& error) {
    const QString kind = config.value(QStringLiteral("role")).toString();
    if (kind == QLatin1String("scripted")) return ScriptedRole::fromJson(config, error);
    if (kind == QLatin1String("corrector")) return CorrectorRole::fromJson(config, error);
    if (kind == QLatin1String("modem")) return ModemRole::fromJson(config, error);
    if (kind == QLatin1String("adapter")) return AdapterRole::fromJson(config, error);
    if (kind == QLatin1String("dtu2mb")) return Dtu2mbRole::fromJson(config, error);
    if (kind == QLatin1String("dtu16")) return Dtu16Role::fromJson(config, error);
    error = QStringLiteral("unknown role \"") + kind + QStringLiteral("\"");
    return nullptr;
}

} // namespace tarn::sim
