#pragma once

#include <QString>

class TVantor;
class TVantorInput;

// The alarm-log lines of a station, whatever its face: the state lines from the values as they
// are now (an empty text when the state is not one that is written), and the lines of the events
// the station meets.

// "Vantor Ошибка обмена: Нет ответа от устройства" or "Vantor Состояние обмена: Норма".
QString ModuleErrorLine(const TVantor& vantor);
// "Vantor Код ошибки: 3".
QString ErrorCodeLine(const TVantor& vantor);
// "Вход 5 (№ 1234) Состояние обмена: Нет связи", only for "Норма" and "Нет связи".
QString InputStateLine(const TVantorInput& input);
// "Состояние датчика 5.3: AAAA (Термодатчик неисправен) ", only for an alarm state; sensor 1..6.
QString SensorStateLine(const TVantorInput& input, int sensor);
// "Состояние датчика 5.3: Норма": the sensor and its state, whatever the state.
QString SensorStateText(const TVantorInput& input, int sensor);
// "Состояние датчика 5.3: рост 1,6 °С/сут ": a sensor that has begun to rise faster than the rise
// alarm's rate, in the form of the sensor lines; the rate with one decimal in the locale's form.
QString SensorRiseLine(const TVantorInput& input, int sensor, double ratePerDay);
// "Состояние датчика 5.3: рост прекратился ": the slope has fallen clearly below the rate again.
QString SensorRiseEndLine(const TVantorInput& input, int sensor);
// "Вход 5 (№ 30005) Заводской номер термоподвески изменился, был № 20005": the probe was replaced
// or set up again, and its new number taken from answers proven to be the input's own.
QString PlantNumberChangeLine(const TVantorInput& input, int was, int now);
// "Vantor Системный адрес прибора не задан ...": polling cannot go on, and why.
QString PollHeldLine(const QString& title, const QString& reason);
// "Нет соединения с брокером MQTT: причина" and "Соединение с брокером MQTT восстановлено".
QString BrokerLostLine(const QString& reason);
QString BrokerBackLine();
