#pragma once
// How many seeds a property run draws: 200, or "--seeds N" on the command line, or the environment
// variable TARN_PROPERTY_SEEDS (for ctest); "--seed N" replays that one seed.
#include <QCoreApplication>
#include <QStringList>

#include <QtGlobal>
#include <optional>

namespace tarn::test::property {

struct SeedRange {
    quint64 first = 1;
    quint64 count = 200;
};

inline SeedRange seedRange() {
    SeedRange r;
    bool ok = false;
    const qulonglong fromEnv = qEnvironmentVariable("TARN_PROPERTY_SEEDS").toULongLong(&ok);
    if (ok) r.count = fromEnv;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 0; i < args.size(); ++i) {
        auto value = [&](const QString& name) -> std::optional<qulonglong> {
            QString text;
            if (args[i] == name && i + 1 < args.size())
                text = args[i + 1];
            else if (args[i].startsWith(name + QLatin1Char('=')))
                text = args[i].mid(name.size() + 1);
            else
                return std::nullopt;
            bool good = false;
            const qulonglong v = text.toULongLong(&good);
            return good ? std::optional<qulonglong>(v) : std::nullopt;
        };
        if (const auto n = value(QStringLiteral("--seeds"))) r.count = *n;
        if (const auto s = value(QStringLiteral("--seed"))) {
            r.first = *s;
            r.count = 1;
        }
    }
    return r;
}

} // namespace tarn::test::property
