#include "SimulatorProcess.h"

#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// command: the executable's path, then its arguments.
pid_t Spawn(const std::vector<std::string>& command, int& output, bool withErrors)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // A test stopped by a crash or a sanitizer takes its simulator with it: left running, the
        // simulator would hold the test runner's output open and the runner would wait for it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(fds[1], STDOUT_FILENO);
        if (withErrors)
            dup2(fds[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    output = fds[0];
    return pid;
}

// Reads until end of file or the deadline.
std::string ReadOutput(int fd, Clock::time_point deadline, bool firstLineOnly)
{
    std::string text;
    while (Clock::now() < deadline && !(firstLineOnly && text.find('\n') != std::string::npos)) {
        pollfd p{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// The exit code, or -1 when the process did not exit normally before the deadline.
int WaitForExit(pid_t pid, Clock::time_point deadline)
{
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);  // polling the child's state, not waiting for an effect
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string SimulatorProcess::Executable()
{
    const char* tools = std::getenv("ORVELA_TEST_TOOLS");
    return std::string(tools ? tools : ".") + "/vantor-sim/vantor-sim";
}

std::string CliExecutable()
{
    const char* tools = std::getenv("ORVELA_TEST_TOOLS");
    return std::string(tools ? tools : ".") + "/orvela-cli/orvela-cli";
}

SimulatorProcess::~SimulatorProcess()
{
    if (Pid_ > 0)
        Stop(SIGKILL);
}

testing::AssertionResult SimulatorProcess::Start(const std::vector<std::string>& options, bool withErrors)
{
    std::vector<std::string> command = {Executable()};
    command.insert(command.end(), options.begin(), options.end());
    Pid_ = Spawn(command, Output_, withErrors);
    if (Pid_ < 0)
        return testing::AssertionFailure() << "cannot start " << Executable();
    const std::string line = ReadOutput(Output_, Clock::now() + 10s, true);
    const auto end = line.find('\n');
    if (end == std::string::npos)
        return testing::AssertionFailure() << "no port path from the simulator, got '" << line << "'";
    Path_ = line.substr(0, end);
    OutputText_ = line.substr(end + 1);
    return testing::AssertionSuccess();
}

bool SimulatorProcess::WaitForOutput(const std::function<bool(const std::string&)>& done,
                                     std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!done(OutputText_)) {
        if (Output_ < 0 || Clock::now() >= deadline)
            return false;
        pollfd p{Output_, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(Output_, buffer, sizeof buffer);
        if (n <= 0)
            return done(OutputText_);
        OutputText_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool SimulatorProcess::Running()
{
    if (Pid_ > 0 && waitpid(Pid_, nullptr, WNOHANG) != 0)
        Pid_ = -1;  // gone, and reaped
    return Pid_ > 0;
}

int SimulatorProcess::Stop(int signal, std::chrono::milliseconds deadline)
{
    if (Pid_ <= 0)
        return -1;
    kill(Pid_, signal);
    const int code = WaitForExit(Pid_, Clock::now() + deadline);
    Pid_ = -1;
    close(Output_);
    Output_ = -1;
    return code;
}

FinishedRun RunToEnd(const std::vector<std::string>& options)
{
    std::vector<std::string> command = {SimulatorProcess::Executable()};
    command.insert(command.end(), options.begin(), options.end());
    return RunProgram(command, false);
}

FinishedRun RunProgram(const std::vector<std::string>& command, bool withErrors, std::chrono::milliseconds limit)
{
    FinishedRun run;
    int output = -1;
    const pid_t pid = Spawn(command, output, withErrors);
    if (pid < 0)
        return run;
    const auto deadline = Clock::now() + limit;
    run.Output = ReadOutput(output, deadline, false);
    close(output);
    run.ExitCode = WaitForExit(pid, deadline);
    return run;
}
