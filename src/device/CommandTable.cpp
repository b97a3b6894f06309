#include "device/CommandTable.h"

#include "device/VantorCodes.h"

TCommandTable::TCommandTable()
    : Rows_{{
          {QStringLiteral("Считать общую информацию"), 9},
          {QStringLiteral("Считать показания четырех входов"), 133},
          {QStringLiteral("Считать настройки четырех входов"), 85},
          {QStringLiteral("Считать параметры Modbus"), 9},
          {QStringLiteral("Переход в режим загрузки ПО"), 8},
          {QStringLiteral("Открыть диапазон сервисных регистров"), 8},
          {QStringLiteral("Закрыть диапазон сервисных регистров"), 8},
          {QStringLiteral("Записать настройки одного входа"), 8},
          {QStringLiteral("Записать параметры Modbus"), 8},
          {QStringLiteral("Записать системный адрес"), 8},
          {QStringLiteral("Записать заводской номер"), 8},
          {QStringLiteral("Считать сигнатуру 1"), 0},
          {QStringLiteral("Считать сигнатуру 2"), 0},
          {QStringLiteral("Считать сигнатуру 3"), 0},
      }}
{
}

TCommandParams TCommandTable::Params(int command) const
{
    if (command < 0 || command >= kCommandCount)
        return {};
    const QMutexLocker lock(&Guard_);
    return Rows_[command];
}

void TCommandTable::SetName(int command, const QString& name)
{
    if (command < 0 || command >= kCommandCount)
        return;
    const QMutexLocker lock(&Guard_);
    Rows_[command].Name = name;
}

void TCommandTable::NameGroup(int first)
{
    const QString range = QString::number(first) + QStringLiteral(" - ") + QString::number(first + vantor::kGroupSize - 1);
    SetName(cmdReadInputs, QStringLiteral("Считать показания четырех входов ") + range);
    SetName(cmdReadSettings, QStringLiteral("Считать настройки четырех входов ") + range);
}

TCommandTable& CommandTable()
{
    static TCommandTable table;
    return table;
}
