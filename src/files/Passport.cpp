#include "files/Passport.h"

#include "files/DatedFileName.h"
#include "common/IniFile.h"
#include "common/OperatorMessage.h"
#include "common/ProgramFolder.h"
#include "common/SystemReason.h"
#include "device/Vantor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

TPassportResult Fail(const QString& path, const QString& reason)
{
    ShowMessage(kCaptionError, QStringLiteral("Паспорт прибора не сохранен: ") + path + QStringLiteral(": ") + reason,
                TMessageIcon::Error);
    return TPassportResult::Failed;
}

}  // namespace

QString PassportFolder()
{
    return ProgramFolder() + QStringLiteral("ORVELA/");
}

QString PassportPath(const TVantor& vantor, const QDate& date)
{
    return PassportFolder() + DatedFileName(vantor.PlantNumber, date) + QStringLiteral(".ini");
}

TPassportResult SavePassport(const TVantor& vantor, const TConfirm& confirmReplace, const QDate& date)
{
    const QString path = PassportPath(vantor, date);
    if (!QDir().mkpath(PassportFolder()))
        return Fail(path, QStringLiteral("не удалось создать папку ") + PassportFolder());
    const QFileInfo info(path);
    if (info.exists()) {
        const QString question = QDir::toNativeSeparators(path) + QStringLiteral(" уже существует.") + u'\r' +
                                 QStringLiteral("Заменить?");
        if (!confirmReplace || !confirmReplace(QStringLiteral("Сохранить как"), question))
            return TPassportResult::Declined;
        if (!info.isFile())
            return Fail(path, QStringLiteral("это не обычный файл"));
        // An unreadable file would read as empty and lose its other sections on rewrite.
        QFile existing(path);
        if (!existing.open(QIODevice::ReadOnly))
            return Fail(path, RussianReason(existing.errorString()));
    }

    TIniFile ini(path);
    const QString section = vantor.Name() + u'_' + QString::number(vantor.PlantNumber);
    ini.WriteString(section, QStringLiteral("Manufact"), vantor.Manufacturer);
    ini.WriteInteger(section, QStringLiteral("PlantNumber"), vantor.PlantNumber);
    ini.WriteInteger(section, QStringLiteral("SoftVersion"), vantor.VerSoft);
    ini.WriteInteger(section, QStringLiteral("HardVersion"), vantor.VerHard);
    ini.WriteString(section, QStringLiteral("WebSite"), vantor.Site);
    ini.WriteString(section, QStringLiteral("Device"), vantor.Device);
    ini.WriteString(section, QStringLiteral("DeviceName"), vantor.DeviceName);
    ini.WriteInteger(section, QStringLiteral("DeviceTypeSign"), vantor.DeviceType);
    ini.WriteString(section, QStringLiteral("DeviceCRC"), vantor.CRC);
    QString error;
    if (!ini.Save(&error))
        return Fail(path, error);
    return TPassportResult::Saved;
}
