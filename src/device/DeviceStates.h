#pragma once

#include <QString>

#include <cstdint>

// The outcome of one exchange. 5..8 are the Modbus exception codes 1..4.
enum TDeviceStates : std::uint8_t {
    e_OK,
    e_NoAnswer,
    e_Read,
    e_CheckSum,
    e_IllegalCommand,
    mbe_IllegalFunction,
    mbe_IllegalDataAdress,
    mbe_IllegalDataValue,
    mbe_SlaveDeviceFailure,
};

// How far an answer is known to be its own request's. A Modbus answer carries no transaction
// number, so a late answer of an earlier request fits any request of its form.
enum TAnswerTrust : std::uint8_t {
    atSettled,   // the exchange before ended in an answer accepted as its own
    atRepeated,  // the line was in doubt; asked again after a quiet line, the same answer came twice
    atDoubtful,  // the line was in doubt and the answer could not be proven so
};

// The operator's text of an outcome; empty for a number outside the enumeration.
QString DeviceStateMessage(TDeviceStates state);

// A row of the command table.
struct TCommandParams
{
    QString Name;
    // Length of a complete answer, address and CRC included; 0 when it varies.
    std::uint8_t AnswerLength = 0;
};
