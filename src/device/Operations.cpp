#include "device/Operations.h"

#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"

#include <QThread>

#include <algorithm>
#include <exception>

bool RunCommand(int command)
{
    try {
        return ExecuteCommand(command);
    } catch (const std::exception&) {
        return false;
    }
}

void PauseAfterWrite()
{
    QThread::msleep(static_cast<unsigned long>(std::max(0, ComPauseWrite.load())));
}

int ReadSignature()
{
    for (int command : {cmdSignature1, cmdSignature2, cmdSignature3})
        if (!RunCommand(command))
            return command;
    return 0;
}

bool WriteSystemAddress(quint8 newAddress, quint8 current, quint16 plantNumber, QString* saveError)
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    vantor->WrSystemAddress = newAddress;
    vantor->WrDevicePlantNumber = plantNumber;
    const quint8 old = vantor->SystemAddress();
    vantor->SetSystemAddress(current);
    // On success the answer has moved the program to the new address already; a broadcast went
    // out with nothing heard on the line that could have drowned it.
    bool done = RunCommand(cmdWriteAddress);
    if (done && current == 0) {
        // Nobody answers a broadcast: only the controller of that plant number answering at the
        // new address shows that it took it.
        vantor->SetSystemAddress(newAddress);
        PauseAfterWrite();
        done = RunCommand(cmdSignature1) && vantor->PlantNumber == plantNumber;
    } else if (done) {
        PauseAfterWrite();
    }
    if (!done) {
        vantor->SetSystemAddress(old);
        return false;
    }
    SaveControllerSettings(saveError);
    return true;
}

bool WritePlantNumber(quint16 number)
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    vantor->WrDevicePlantNumber = number;
    if (!RunCommand(cmdWritePlantNumber))
        return false;
    PauseAfterWrite();
    return true;
}

bool EnterLoadingMode(quint16 plantNumber)
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    vantor->WrDevicePlantNumber = plantNumber;
    return RunCommand(cmdLoadingMode);
}

bool SetServiceRange(bool open)
{
    return RunCommand(open ? cmdOpenService : cmdCloseService);
}

bool ReadModbusParams()
{
    return RunCommand(cmdReadModbus);
}

bool WriteModbusParams(quint8 baud, quint8 parity)
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    vantor->WrBaud = baud;
    vantor->WrParity = parity;
    return RunCommand(cmdWriteModbus);
}

QString CommandFailure(int command, const QString& separator)
{
    const QString text = QStringLiteral("Не выполнена команда") + separator + CommandTable().Name(command);
    // Refused before sending: the operator must know it is the address, not the controller.
    return AddressRefuses(command) ? text + separator + AddressUnsetText() : text;
}
