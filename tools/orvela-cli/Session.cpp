#include "Session.h"

#include "device/Exchange.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QTextStream>

bool OpenSession(const std::optional<QString>& port)
{
    StartUnits();
    LogRadix = 10;
    if (TLog* log = EventLog())
        log->WriteStart();
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteStart();
    TTransmitter* transmitter = Transmitter();
    if (!Vantor() || !transmitter || !RequestThread() || !PollTimer()) {
        // Unit start-ups fail only when the machine cannot give them memory or threads.
        PrintError(QStringLiteral("Не удалось запустить обмен: не хватило памяти или ресурсов системы"));
        return false;
    }
    if (port)
        transmitter->SetPort(*port);
    if (!transmitter->ActivatePort()) {
        PrintError(QStringLiteral("Порт %1 не открыт").arg(transmitter->Port()));
        return false;
    }
    return true;
}

bool AddressSet()
{
    const QString reason = PollHeldReason();
    if (!reason.isEmpty())
        PrintError(reason);
    return reason.isEmpty();
}

void PrintError(const QString& text)
{
    QTextStream(stderr) << text << u'\n';
}
