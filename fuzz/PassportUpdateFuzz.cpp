#include "files/Passport.h"
#include "common/IniFile.h"
#include "common/OperatorMessage.h"
#include "device/Vantor.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// Any bytes as an existing passport: the update must write the controller's section and leave
// every other section's keys reading as before.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    static const bool home = qputenv("ORVELA_HOME", dir.path().toLocal8Bit());
    static const TShowMessage quiet = SetShowMessage([](const QString&, const QString&, TMessageIcon) {});
    static TVantor vantor;
    (void)home;
    (void)quiet;
    vantor.PlantNumber = 42;
    vantor.Manufacturer = QStringLiteral("Стелк");
    vantor.CRC = QStringLiteral("1A 2B");
    const QDate day(2026, 12, 6);
    const QString path = PassportPath(vantor, day);
    QFile::remove(path);
    if (size > 0) {
        QDir().mkpath(PassportFolder());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const TIniFile before(path);
    const QString other = before.ReadString(QStringLiteral("OTHER"), QStringLiteral("Key"), QStringLiteral("-"));
    if (SavePassport(vantor, [](const QString&, const QString&) { return true; }, day) != TPassportResult::Saved)
        return 0;
    const TIniFile after(path);
    if (after.ReadString(QStringLiteral("VANTOR_42"), QStringLiteral("DeviceCRC"), {}) != QStringLiteral("1A 2B") ||
        after.ReadInteger(QStringLiteral("VANTOR_42"), QStringLiteral("PlantNumber"), 0) != 42)
        __builtin_trap();
    if (after.ReadString(QStringLiteral("OTHER"), QStringLiteral("Key"), QStringLiteral("-")) != other)
        __builtin_trap();
    return 0;
}
