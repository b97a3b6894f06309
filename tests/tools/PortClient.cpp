#include "PortClient.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Long enough that a paced answer's bytes (1.15 ms apart at 9600) never look like its end.
constexpr auto kQuiet = 50ms;

// An exception answer is complete at 5 bytes, whatever the request asked for.
bool IsException(const QByteArray& answer)
{
    return answer.size() >= 5 && (static_cast<std::uint8_t>(answer[1]) & 0x80) != 0;
}

std::chrono::milliseconds Ms(Clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d);
}

std::string CurrentTest()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return test ? std::string(test->test_suite_name()) + '.' + test->name() : std::string();
}

// The test whose line proved broken; every port client of that test gives up at once.
std::string BrokenLineTest;

bool LineBroken()
{
    return !BrokenLineTest.empty() && BrokenLineTest == CurrentTest();
}

}  // namespace

PortClient::PortClient(const std::string& path)
{
    Fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Fd_ < 0)
        return;
    termios tio{};
    tcgetattr(Fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(Fd_, TCSANOW, &tio);
    tcflush(Fd_, TCIOFLUSH);
}

PortClient::~PortClient()
{
    if (Fd_ >= 0)
        close(Fd_);
}

void PortClient::Send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(Fd_, bytes.constData() + sent, static_cast<std::size_t>(bytes.size() - sent));
        if (n > 0) {
            sent += n;
            continue;
        }
        // A simulator that has gone leaves the terminal hung up: nothing more can be sent.
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        pollfd p{Fd_, POLLOUT, 0};
        if (poll(&p, 1, 1000) <= 0 || (p.revents & (POLLHUP | POLLERR)) != 0)
            return;
    }
}

QByteArray PortClient::Exchange(const QByteArray& request, int expected,
                                std::optional<std::chrono::milliseconds> limit)
{
    const std::chrono::milliseconds deadline = limit.value_or(kAnswerDue);
    if (LineBroken()) {
        FirstByteAfter_ = LastByteAfter_ = deadline;
        LongestPause_ = {};
        return {};
    }
    tcflush(Fd_, TCIFLUSH);
    const auto start = Clock::now();
    Send(request);
    const auto end = start + deadline;
    QByteArray answer;
    Clock::time_point first{}, last{};
    LongestPause_ = {};
    for (;;) {
        const bool complete = expected > 0 ? answer.size() >= expected || IsException(answer) : !answer.isEmpty();
        const auto until = complete ? std::min(last + kQuiet, end) : end;
        const auto now = Clock::now();
        if (now >= until)
            break;
        pollfd p{Fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(Ms(until - now).count()) + 1) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = read(Fd_, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break;  // hung up: no answer will come
        const auto arrived = Clock::now();
        if (answer.isEmpty())
            first = arrived;
        else
            LongestPause_ = std::max(LongestPause_, Ms(arrived - last));
        last = arrived;
        answer.append(buffer, n);
    }
    FirstByteAfter_ = answer.isEmpty() ? Ms(deadline) : Ms(first - start);
    LastByteAfter_ = answer.isEmpty() ? Ms(deadline) : Ms(last - start);
    if (answer.isEmpty() && !limit) {
        BrokenLineTest = CurrentTest();
        ADD_FAILURE() << "no answer within " << deadline.count()
                      << " ms: the line to the simulator is broken, the test gives up waiting on it";
    }
    return answer;
}

QByteArray PortClient::AskUntilAnswered(const QByteArray& request, int expected, std::chrono::milliseconds each,
                                        std::chrono::milliseconds within)
{
    const auto end = Clock::now() + within;
    QByteArray answer;
    while (answer.size() != expected && Clock::now() < end && !LineBroken())
        answer = Exchange(request, expected, each);
    return answer;
}
