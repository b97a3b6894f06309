#include "common/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// Reads any bytes as a settings file, then writes a key and reads the file back: the written key
// must read back, and every other key must read as it did before.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/fuzz.ini");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    TIniFile ini(path);
    const QString before = ini.ReadString(QStringLiteral("Transmitter"), QStringLiteral("Port"), QStringLiteral("-"));
    ini.ReadInteger(QStringLiteral("VANTOR"), QStringLiteral("SystemAddress"), 0);
    ini.ReadFloat(QStringLiteral("ComPause"), QStringLiteral("Read"), 0.0);
    ini.WriteInteger(QStringLiteral("ctReqDevices"), QStringLiteral("Interval"), 500);
    if (!ini.Save())
        return 0;
    const TIniFile back(path);
    if (back.ReadInteger(QStringLiteral("ctReqDevices"), QStringLiteral("Interval"), -1) != 500)
        __builtin_trap();
    if (back.ReadString(QStringLiteral("Transmitter"), QStringLiteral("Port"), QStringLiteral("-")) != before)
        __builtin_trap();
    return 0;
}
