#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// The far end of a line: the master of a pseudo-terminal pair whose slave the port opens.
class TPtyPeer
{
public:
    TPtyPeer();
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer&) = delete;
    TPtyPeer& operator=(const TPtyPeer&) = delete;

    const QString& SlavePath() const { return SlavePath_; }
    void Write(const QByteArray& bytes);
    // Reads until count bytes have come or the deadline has passed.
    QByteArray Read(qsizetype count, std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // The device goes away: the port sees a hang-up.
    void Close();

private:
    int Master_ = -1;
    QString SlavePath_;
};
