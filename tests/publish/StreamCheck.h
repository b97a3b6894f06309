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

// The readings of the stream topic by their first arrival; a later copy of an (epoch, sequence
// number) must be the same message.
testing::AssertionResult Deduplicate(const std::vector<Subscriber::Message>& messages, const QString& topic,
                                     std::vector<ReceivedReading>& readings);
// Every reading the history holds arrived once with its values, in time order per input, and
// nothing else arrived.
testing::AssertionResult SameAsHistory(const std::vector<ReceivedReading>& readings, const QString& historyPath);
// Deduplicate and SameAsHistory on what the subscriber got.
testing::AssertionResult StreamMatchesHistory(const Subscriber& subscriber, const QString& topic,
                                              const QString& historyPath);
// How many distinct (epoch, sequence number) arrived on the stream topic.
std::size_t ArrivedCount(const Subscriber& subscriber, const QString& topic);
// How many readings the history holds.
int HistoryCount(const QString& historyPath);
