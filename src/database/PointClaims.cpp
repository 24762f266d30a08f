#include "database/PointClaims.h"

#include <QCoreApplication>
#include <QSysInfo>

namespace tarn::database {

QString defaultClaimer() {
    return QSysInfo::machineHostName() + QLatin1Char(':') +
           QString::number(QCoreApplication::applicationPid());
}

int claimLeaseSeconds(const QProcessEnvironment& env) {
    bool ok = false;
    const int seconds = env.value(QStringLiteral("TARN_CLAIM_LEASE_SECONDS")).toInt(&ok);
    return ok && seconds > 0 ? seconds : LocalPointClaims::kDefaultLeaseSeconds;
}

} // namespace tarn::database
