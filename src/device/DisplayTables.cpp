#include "device/DisplayTables.h"

QString SensorMessage(int state)
{
    static const QStringList messages = {
        QStringLiteral("Неизвестно"),
        QStringLiteral("Норма"),
        QStringLiteral("Термодатчика нет"),
        QStringLiteral("Термодатчик с таким номером уже существует"),
        QStringLiteral("Не происходит сброс термодатчиков"),
        QStringLiteral("Термодатчик неисправен"),
        QStringLiteral("Неправильная CRC"),
        QStringLiteral("Температура 85°С и не изменяется"),
        QStringLiteral("Температура 0°С и не изменяется"),
        QStringLiteral("Такой ошибки не должно быть"),
        QStringLiteral("Ошибка CRC паспорта"),
    };
    return messages.value(state);
}

const QStringList& BaudTexts()
{
    static const QStringList texts = {
        QStringLiteral("110 бит/с"),   QStringLiteral("300 бит/с"),   QStringLiteral("600 бит/с"),
        QStringLiteral("1200 бит/с"),  QStringLiteral("2400 бит/с"),  QStringLiteral("4800 бит/с"),
        QStringLiteral("9600 бит/с"),  QStringLiteral("14400 бит/с"), QStringLiteral("19200 бит/с"),
        QStringLiteral("38400 бит/с"), QStringLiteral("56000 бит/с"), QStringLiteral("57600 бит/с"),
        QStringLiteral("115200 бит/с"),
    };
    return texts;
}

const QStringList& ParityTexts()
{
    static const QStringList texts = {QStringLiteral("No parity"), QStringLiteral("Odd parity"),
                                      QStringLiteral("Even parity")};
    return texts;
}

const QStringList& ServiceRangeTexts()
{
    static const QStringList texts = {QStringLiteral("Неизвестно"), QStringLiteral("Закрыты"),
                                      QStringLiteral("Открыты")};
    return texts;
}

const QStringList& YesNoThreeStateTexts()
{
    static const QStringList texts = {QStringLiteral("-"), QStringLiteral("Нет"), QStringLiteral("Да")};
    return texts;
}

const QStringList& YesNoTexts()
{
    static const QStringList texts = {QStringLiteral("Нет"), QStringLiteral("Да")};
    return texts;
}
