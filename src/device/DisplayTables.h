#pragma once

#include <QString>
#include <QStringList>

// Texts shown for the controller's codes. Each returns an empty text for an index outside its table.

// Long messages of the sensor states 0..10 (1: a temperature, 2..10: status codes 0xAAA7..0xAAAF).
QString SensorMessage(int state);
// Baud rates of the controller's Modbus link, 13 rows: "110 бит/с" .. "115200 бит/с".
const QStringList& BaudTexts();
// "No parity", "Odd parity", "Even parity".
const QStringList& ParityTexts();
// "Неизвестно", "Закрыты", "Открыты".
const QStringList& ServiceRangeTexts();
// "-", "Нет", "Да", indexed by a three-state value.
const QStringList& YesNoThreeStateTexts();
// "Нет", "Да", indexed by a Boolean.
const QStringList& YesNoTexts();
