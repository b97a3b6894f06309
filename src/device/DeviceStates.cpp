#include "device/DeviceStates.h"

#include <array>

QString DeviceStateMessage(TDeviceStates state)
{
    static const std::array<QString, 9> messages = {
        QStringLiteral("Норма"),
        QStringLiteral("Нет ответа от устройства"),
        QStringLiteral("Ошибка чтения"),
        QStringLiteral("Ошибка контрольной суммы"),
        QStringLiteral("Несоответствие команды"),
        QStringLiteral("Получен недопустимый код функции"),
        QStringLiteral("В запросе указан недопустимый адрес"),
        QStringLiteral("Данные запроса содержат недопустимое значение"),
        QStringLiteral("Во время выполнения запрошенной операции произошла ошибка"),
    };
    return state < messages.size() ? messages[state] : QString();
}
