// Opens the port and closes it again TIMES times in one process, as "Порт открыть" after "Порт
// закрыть" does; with --exchange every opening also asks the controller at address 1 for its
// general information. The tests run it as a second process and as an ordinary user.
//     port_reopen_helper PORT TIMES [--exchange]
// Exit 0 when all of it succeeded; 1 with the reason on standard error; 2 for a bad command line.
#include "device/Frames.h"
#include "transport/Transmitter.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    bool ok = false;
    const int times = args.size() >= 3 ? args[2].toInt(&ok) : 0;
    if (!ok || times < 1 || args.size() > 4 || (args.size() == 4 && args[3] != QStringLiteral("--exchange"))) {
        err << "port_reopen_helper PORT TIMES [--exchange]\n";
        return 2;
    }
    const bool exchange = args.size() == 4;

    TTransmitter port;
    port.SetPort(args[1]);
    for (int i = 1; i <= times; ++i) {
        if (!port.ActivatePort()) {  // the operator's message is on standard error already
            err << "opening " << i << " failed\n";
            return 1;
        }
        if (exchange) {
            QByteArray answer;
            port.Transact(BuildReadFrame(1, 0x04, 0, 2), answer, 245);
            if (answer.size() != 9 || !CheckCrc(answer)) {
                err << "exchange " << i << " answered [" << answer.toHex(' ') << "]\n";
                return 1;
            }
        }
        if (!port.DeactivatePort()) {
            err << "closing " << i << " failed\n";
            return 1;
        }
    }
    return 0;
}
