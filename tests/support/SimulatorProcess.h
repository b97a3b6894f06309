#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>

using namespace std::chrono_literals;

// The controller simulator as a child process. The destructor stops it.
class SimulatorProcess
{
public:
    static std::string Executable();  // from ORVELA_TEST_TOOLS

    SimulatorProcess() = default;
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    ~SimulatorProcess();

    // Starts it and reads the port path from its first output line; with withErrors its standard
    // error (the --verbose record of the line) comes through the same pipe.
    testing::AssertionResult Start(const std::vector<std::string>& options = {}, bool withErrors = false);

    // Reads its output until done(all output after the port path) holds or the limit passes.
    bool WaitForOutput(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds limit = 10s);

    const std::string& Path() const { return Path_; }
    pid_t Pid() const { return Pid_; }
    bool Running();

    // Sends the signal and waits for the exit; the exit code, or -1 when it did not exit
    // normally within the deadline.
    int Stop(int signal, std::chrono::milliseconds deadline = 10s);

private:
    pid_t Pid_ = -1;
    int Output_ = -1;
    std::string Path_;
    std::string OutputText_;
};

// Runs the simulator to its end (for --help and bad options): exit code and standard output.
struct FinishedRun
{
    int ExitCode = -1;
    std::string Output;
};
FinishedRun RunToEnd(const std::vector<std::string>& options);
// orvela-cli, built beside the simulator.
std::string CliExecutable();
// Any program (the path, then its arguments), with its standard error in the output when asked.
// Killed at the limit, with exit code -1.
FinishedRun RunProgram(const std::vector<std::string>& command, bool withErrors, std::chrono::milliseconds limit = 10s);
