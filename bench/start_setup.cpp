// Lays out an installation for the start benchmark: the folders and settings as "tarn-cli init" leaves
// them, the points registered as storing registers them (each with its tables), and a group of the first
// ones. Not a test, and not part of the program.
//
// Usage: start-setup FOLDER POINTS MEMBERS
#include "common/Language.h"
#include "database/Registry.h"
#include "database/TableFile.h"
#include "polling/Groups.h"
#include "shell/Installation.h"

#include <QCoreApplication>
#include <cstdio>

using namespace tarn;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: start-setup FOLDER POINTS MEMBERS\n");
        return 2;
    }
    const DataRoot root(QString::fromLocal8Bit(argv[1]));
    const int points = QString::fromLocal8Bit(argv[2]).toInt();
    const int members = QString::fromLocal8Bit(argv[3]).toInt();
    shell::initInstallation(root);
    database::writeMissingSchemaFiles(root);
    const database::Schemas schemas = database::loadSchemas(root);
    const QDateTime registered(QDate(2023, 1, 10), QTime(12, 0));
    QStringList identifiers;
    {
        database::Registry registry(root, schemas);
        for (int i = 0; i < points; ++i) {
            database::Point point;
            point.serial = QString::number(10001 + i);
            point.identifier = QLatin1Char('t') + point.serial;
            point.model = QStringLiteral("ТАРН-2.01");
            point.config[database::config::Owner] = QStringLiteral("Облгаз, участок %1").arg(i % 17);
            point.config[database::config::Flags] = QStringLiteral("01100000000");
            if (!registry.add(point, registered)) {
                std::fprintf(stderr, "not registered: %s\n", qPrintable(registry.error()));
                return 1;
            }
            if (i < members) identifiers.append(point.identifier);
        }
    }
    if (members == 0) return 0;
    polling::Group group;
    group.name = QStringLiteral("Юг");
    group.flags = QStringLiteral("0110000000");
    group.schedule = {QStringLiteral("02:00-04:00-00:30")};
    for (const QString& line : database::Registry(root, schemas).pollingList())
        group.members.append({identifiers.contains(line.right(10).trimmed()), line});
    const polling::GroupSaveResult saved =
        polling::saveGroup(root, {{}, {}, group}, kRussian, registered, [](const QString&) { return true; });
    if (!saved.error.isEmpty()) {
        std::fprintf(stderr, "group not saved: %s\n", qPrintable(saved.error));
        return 1;
    }
    return 0;
}
