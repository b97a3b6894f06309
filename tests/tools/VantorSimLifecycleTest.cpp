#include "SimulatorTest.h"

#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kControllerBlock = BuildReadFrame(1, 0x04, 0, 2);

// User and system time the process has used so far.
double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));  // past "pid (name) "
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)  // utime and stime are fields 14 and 15
        if (i >= 14)
            ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TEST(VantorSimLifecycle, StopSignalsEndItCleanlyAndRemoveTheLink)
{
    QTemporaryDir dir;
    const std::string link = dir.filePath("vantor").toStdString();
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start({"--link", link}));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.Path());
    {
        PortClient port(link);
        EXPECT_EQ(port.Exchange(kControllerBlock, 9).size(), 9) << "through the link";
    }
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "link removed";

    SimulatorProcess other;
    ASSERT_TRUE(other.Start());
    EXPECT_EQ(other.Stop(SIGINT), 0);
}

TEST(VantorSimLifecycle, StopsWhileAnAnswerIsHeldBack)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start({"--late-ms", "60000"}));
    PortClient port(sim.Path());
    port.Send(kControllerBlock);
    // Without waiting for the answer: the stop must cut the minute short.
    EXPECT_EQ(sim.Stop(SIGTERM, 5s), 0);
}

TEST(VantorSimLifecycle, ThePortCanBeOpenedClosedAndReopened)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start());
    for (int round = 0; round < 3; ++round) {
        PortClient port(sim.Path());
        ASSERT_TRUE(port.IsOpen()) << round;
        EXPECT_EQ(port.Exchange(kControllerBlock, 9).size(), 9) << round;
    }
    // Nobody has the port open now (and an answer went to nobody): it must neither die nor spin.
    {
        PortClient port(sim.Path());
        port.Send(kControllerBlock);
    }
    const double before = CpuSeconds(sim.Pid());
    std::this_thread::sleep_for(1s);  // a window to measure, not a wait for an effect
    EXPECT_LT(CpuSeconds(sim.Pid()) - before, 0.2);
    PortClient port(sim.Path());
    EXPECT_EQ(port.Exchange(kControllerBlock, 9).size(), 9);
    EXPECT_TRUE(sim.Running());
}

TEST(VantorSimLifecycle, ServesAGivenDevice)
{
    // A pseudo-terminal's client end stands in for a serial device; the test talks from the
    // master side, where a null-modem cable would be.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string device = ptsname(master);
    PortClient port(master);
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start({"--device", device, "--baud", "19200", "--parity", "N"}));
    EXPECT_EQ(sim.Path(), device);
    const QByteArray answer = port.Exchange(BuildReadFrame(1, 0x03, 2003, 2), 9);
    EXPECT_EQ(RegistersOf(answer), (QList<std::uint16_t>{8, 0})) << "19200 baud, no parity";
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(VantorSimLifecycle, HelpAndBadOptions)
{
    const FinishedRun help = RunToEnd({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* option : {"--silent", "--bad-crc", "--exception", "--exception-from", "--short", "--long", "--gap-ms",
                               "--late-ms", "--baud", "--parity", "--seed", "--device", "--link", "--address", "--echo",
                               "--wrong-address", "--wrong-function", "--control", "--chunk",
                               "--journal"})
        EXPECT_NE(help.Output.find(option), std::string::npos) << option;

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--address", "0"}, {"--address", "248"}, {"--address", "1x"}, {"--bad-crc", "1.5"},
             {"--parity", "X"}, {"--exception", "0"}, {"--exception-from", "0"}, {"--gap-ms"}, {"--frobnicate"}, {"stray"},
             {"--short", "--long"}, {"--device", "/dev/null", "--link", "/tmp/x"}, {"--silent", "5"}, {"--echo=1"},
             {"--baud", "-1"}, {"--baud", "4000001"}, {"--chunk", "8"}, {"--baud", "9600", "--chunk", "0"}, {"--late-ms", "600001"}, {"-x"}}) {
        const FinishedRun run = RunToEnd(bad);
        EXPECT_EQ(run.ExitCode, 2) << bad.front();
        EXPECT_TRUE(run.Output.empty()) << "nothing that a script could take for a port path";
    }
    // The message names what was wrong.
    for (const auto& [bad, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--frobnicate"}, "--frobnicate"}, {{"--gap-ms"}, "--gap-ms"}, {{"--silent", "5"}, "5"},
             {{"--address", "248"}, "--address"}, {{"--echo=1"}, "--echo"}}) {
        std::vector<std::string> command{SimulatorProcess::Executable()};
        command.insert(command.end(), bad.begin(), bad.end());
        const FinishedRun run = RunProgram(command, true);
        EXPECT_EQ(run.ExitCode, 2) << named;
        EXPECT_NE(run.Output.find(named), std::string::npos) << run.Output;
    }
    EXPECT_EQ(RunToEnd({"--device", "/nonexistent/tty"}).ExitCode, 1);
}

}  // namespace

// A test that dies (a crash, a sanitizer's stop) must not leave its simulator holding the test
// runner's output open: the runner would wait for it until its own time limit.
TEST(VantorSimLifecycle, DiesWithTheTestThatStartedIt)
{
    int runnerOutput[2];
    ASSERT_EQ(pipe2(runnerOutput, O_CLOEXEC), 0);
    const pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        dup2(runnerOutput[1], STDERR_FILENO);  // the simulator inherits it, as from ctest
        SimulatorProcess sim;
        _exit(sim.Start() ? 0 : 1);  // no destructor: the simulator is left running
    }
    close(runnerOutput[1]);
    int status = 0;
    ASSERT_EQ(waitpid(test, &status, 0), test);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // End of file once the last holder, the simulator, is gone.
    pollfd end{runnerOutput[0], POLLIN, 0};
    char byte = 0;
    const bool closed = poll(&end, 1, 10000) == 1 && read(runnerOutput[0], &byte, 1) == 0;
    close(runnerOutput[0]);
    EXPECT_TRUE(closed);
}
