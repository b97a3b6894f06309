#pragma once

#include "PortClient.h"
#include "SimulatorProcess.h"

#include "device/Frames.h"

#include <QList>

#include <csignal>
#include <memory>

// A test against a freshly started simulator, with the port open.
class SimulatorTest : public testing::Test
{
protected:
    // A clean exit also shows that no sanitizer found anything in the simulator.
    void TearDown() override
    {
        Port.reset();
        if (Sim.Pid() > 0) {
            EXPECT_EQ(Sim.Stop(SIGTERM), 0);
        }
    }

    void StartWith(const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(Sim.Start(options));
        Port = std::make_unique<PortClient>(Sim.Path());
        ASSERT_TRUE(Port->IsOpen()) << Sim.Path();
    }

    QByteArray Read(std::uint8_t function, std::uint16_t first, std::uint16_t count, std::uint8_t address = 1)
    {
        return Port->Exchange(BuildReadFrame(address, function, first, count), 5 + 2 * count);
    }

    QByteArray Write(std::uint16_t first, const QList<std::uint16_t>& values, std::uint8_t address = 1)
    {
        return Port->Exchange(BuildWriteFrame(address, first, values), 8);
    }

    SimulatorProcess Sim;
    std::unique_ptr<PortClient> Port;
};

// The registers of a 0x03 or 0x04 answer; empty when it is not one.
inline QList<std::uint16_t> RegistersOf(const QByteArray& answer)
{
    QList<std::uint16_t> words;
    if (answer.size() < 5 || answer.size() != 5 + static_cast<std::uint8_t>(answer[2]))
        return words;
    for (qsizetype i = 3; i + 1 < answer.size() - 2; i += 2)
        words.append(MakeWord(static_cast<std::uint8_t>(answer[i]), static_cast<std::uint8_t>(answer[i + 1])));
    return words;
}

// An exception answer: address, function with bit 7 set, code, CRC.
inline QByteArray ExceptionAnswer(std::uint8_t address, std::uint8_t function, std::uint8_t code)
{
    QByteArray frame;
    frame += static_cast<char>(address);
    frame += static_cast<char>(function | 0x80);
    frame += static_cast<char>(code);
    return frame + AppendCrc(Crc16(frame));
}
