#pragma once

#include <QByteArray>

#include <chrono>
#include <optional>
#include <string>

using namespace std::chrono_literals;

// The client end of the simulator's line, opened raw like the program opens it.
class PortClient
{
public:
    explicit PortClient(const std::string& path);
    // Takes over an open descriptor, such as the master side of a pseudo-terminal.
    explicit PortClient(int fd) : Fd_(fd) {}
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;
    ~PortClient();

    bool IsOpen() const { return Fd_ >= 0; }

    // Time enough for any answer of a healthy simulator, a paused or late one included.
    static constexpr std::chrono::milliseconds kAnswerDue = 3s;

    // Discards what is pending, sends the request and reads the answer: until `expected` bytes
    // (or a whole exception answer) have come and the line then stays quiet for a moment, so
    // that surplus bytes are seen too, or until the deadline. With expected 0 the answer ends
    // at the first quiet moment.
    // Give a deadline where silence may be the answer. Without one an answer is due within
    // kAnswerDue; when none comes the line is broken: the test fails, and every later exchange
    // of the test returns nothing at once, so that it ends within seconds.
    QByteArray Exchange(const QByteArray& request, int expected,
                        std::optional<std::chrono::milliseconds> deadline = std::nullopt);
    // For a controller that is expected back (after noise, after a restart): asks again and
    // again, each time waiting up to `each`, until `expected` bytes come or `within` has passed.
    QByteArray AskUntilAnswered(const QByteArray& request, int expected, std::chrono::milliseconds each,
                                std::chrono::milliseconds within);
    void Send(const QByteArray& bytes);

    // Of the last exchange: time from the request to the first and to the last byte, and the
    // longest pause between two bytes.
    std::chrono::milliseconds FirstByteAfter() const { return FirstByteAfter_; }
    std::chrono::milliseconds LastByteAfter() const { return LastByteAfter_; }
    std::chrono::milliseconds LongestPause() const { return LongestPause_; }

private:
    int Fd_ = -1;
    std::chrono::milliseconds FirstByteAfter_{};
    std::chrono::milliseconds LastByteAfter_{};
    std::chrono::milliseconds LongestPause_{};
};
