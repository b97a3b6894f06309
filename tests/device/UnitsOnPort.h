#pragma once

#include "device/ProgramUnits.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "TestFolder.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <string>

// The program's units started as the program starts them, on a port with a controller at address 1:
// pauseRead ms between a cycle's reads, portSettings more keys of the transmitter's section.
inline testing::AssertionResult StartUnitsOnPort(const TestFolder& folder, const std::string& port, int pauseRead,
                                                 const QByteArray& portSettings = {})
{
    folder.Write("INI/VANTOR.ini",
                 "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=" + QByteArray::number(pauseRead) + "\r\n");
    folder.Write("INI/ComPort.ini", QByteArray("[Transmitter]\r\nPort=") + port.c_str() + "\r\n" + portSettings);
    StartUnits();
    if (!Transmitter()->ActivatePort())
        return testing::AssertionFailure() << "the port " << port << " did not open";
    return testing::AssertionSuccess();
}
