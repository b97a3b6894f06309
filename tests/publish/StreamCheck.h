#pragma once

#include "Broker.h"

#include <QJsonObject>

#include <vector>

struct ReceivedReading {
    qint64 Seq = 0;
    int Input = 0;
    qint64 Time = 0;  // ms
    QJsonObject Json;
};

// The readings of the stream topic by their first arrival; a later copy of a sequence number
// must be the same message.
testing::AssertionResult Deduplicate(const std::vector<Subscriber::Message>& messages, const QString& topic,
                                     std::vector<ReceivedReading>& readings);
// Every reading the history holds arrived once with its values, in time order per input, and
// nothing else arrived.
testing::AssertionResult SameAsHistory(const std::vector<ReceivedReading>& readings, const QString& historyPath);
// How many readings the history holds.
int HistoryCount(const QString& historyPath);
