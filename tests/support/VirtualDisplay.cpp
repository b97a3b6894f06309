#include "VirtualDisplay.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

VirtualDisplay::~VirtualDisplay()
{
    if (Pid_ <= 0)
        return;
    kill(Pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(Pid_, nullptr, WNOHANG) == Pid_)
            return;
        usleep(50'000);
    }
    kill(Pid_, SIGKILL);
    waitpid(Pid_, nullptr, 0);
}

bool VirtualDisplay::Start()
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        Error_ = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    Pid_ = fork();
    if (Pid_ == 0) {
        // The server writes its display number to the descriptor it is given, once it listens.
        dup2(pipe[1], 3);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe[1]);
    if (Pid_ < 0) {
        close(pipe[0]);
        Error_ = std::string("cannot fork: ") + std::strerror(errno);
        return false;
    }
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd wait{pipe[0], POLLIN, 0};
        if (poll(&wait, 1, 500) <= 0)
            continue;
        char bytes[16];
        const ssize_t n = read(pipe[0], bytes, sizeof bytes);
        if (n <= 0)
            break;  // the server ended without a display
        number.append(bytes, bytes + n);
    }
    close(pipe[0]);
    if (number.find('\n') == std::string::npos) {
        Error_ = "Xvfb did not start (is it installed? scripts/install-deps.sh installs it)";
        return false;
    }
    Name_ = ":" + number.substr(0, number.find('\n'));
    return true;
}
