#include "SimulatorTest.h"

#include "device/VantorCodes.h"

#include <cstdio>
#include <map>
#include <regex>

namespace {

// mbpoll, a libmodbus master, reading registers from 0-based `first`; its "[n]: value" lines.
std::map<int, long> Poll(const std::string& path, const char* table, int first, int count)
{
    const std::string command = "timeout 20 mbpoll -m rtu -a 1 -b 9600 -P even -0 -1 -o 3 -t " + std::string(table) +
                                " -r " + std::to_string(first) + " -c " + std::to_string(count) + " " + path + " 2>&1";
    std::map<int, long> values;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return values;
    char line[512];
    const std::regex value(R"(^\[(\d+)\]:\s+(-?\d+))");
    while (std::fgets(line, sizeof line, pipe)) {
        std::cmatch match;
        if (std::regex_search(line, match, value))
            values[std::stoi(match[1])] = std::stol(match[2]);
    }
    pclose(pipe);
    return values;
}

TEST(VantorSimMbpoll, AnIndependentMasterReadsTheRegisters)
{
    if (std::system("command -v mbpoll > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "mbpoll is not installed";
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start());

    EXPECT_EQ(Poll(sim.Path(), "3", 0, 2), (std::map<int, long>{{0, 0}, {1, 7}}));

    const int block = vantor::InputBlockFirst(5);
    const std::map<int, long> readings = Poll(sim.Path(), "3", block, 16);
    ASSERT_EQ(readings.size(), 16u);
    EXPECT_EQ(readings.at(block), 0) << "exchange state";
    EXPECT_EQ(readings.at(block + 3), 0xAAA7) << "sensor 1 status";
    EXPECT_EQ(readings.at(block + 10), 20005) << "plant number";

    const int settings = vantor::SettingsBlockFirst(1);
    EXPECT_EQ(Poll(sim.Path(), "4", settings, 4),
              (std::map<int, long>{{settings, 1}, {settings + 1, 20001}, {settings + 2, 5}, {settings + 3, 240}}));
    EXPECT_EQ(Poll(sim.Path(), "4", vantor::kDevicePlantNumberRegister, 3),
              (std::map<int, long>{{2002, 3107}, {2003, 6}, {2004, 2}}));
}

}  // namespace
