// PortScan: finds the serial port on which a modem, a corrector, the USB adapter of the transfer unit or
// the 2 MB transfer unit answers. It writes no file.
//   PortScan [--home DIR]   (else TARN_HOME, else the program's folder)
#include "common/DataRoot.h"
#include "link/PortMap.h"
#include "link/QtSerialPort.h"
#include "portscan/PortScanner.h"
#include "portscan/windows/pPortScan.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString home;
    const qsizetype at = args.indexOf(QStringLiteral("--home"));
    if (at > 0 && at + 1 < args.size()) home = args.at(at + 1);
    const tarn::DataRoot root = tarn::DataRoot::resolve(home, QCoreApplication::applicationDirPath());

    tarn::link::QtSerialPort comPort;
    tarn::link::QtSerialPort unitPort;
    tarn::portscan::ScanLog log;
    tarn::portscan::PortScanner scanner(comPort, unitPort, log);
    scanner.setPortMap(tarn::link::PortMap::load(root));
    tarn::portscan::TfPortScan window(scanner, log, root);
    window.show();
    return app.exec();
}
