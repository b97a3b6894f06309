#include "common/SystemReason.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace {

struct TReason
{
    int Error;
    const char16_t* Text;
};

const TReason kReasons[] = {
    {ENOSPC, u"диск переполнен"},
    {EDQUOT, u"превышена квота диска"},
    {EFBIG, u"файл слишком велик"},
    {EACCES, u"нет доступа"},
    {EPERM, u"нет доступа"},
    {EROFS, u"носитель доступен только для чтения"},
    {ENOENT, u"файл или папка не найдены"},
    {ENOTDIR, u"папка не найдена"},
    {EISDIR, u"на этом месте папка, а не файл"},
    {EBUSY, u"файл занят другой программой"},
    {ETXTBSY, u"файл занят другой программой"},
    {EAGAIN, u"файл занят другой программой"},
    {EIO, u"ошибка ввода-вывода"},
    {ENAMETOOLONG, u"слишком длинное имя файла"},
    {EMFILE, u"открыто слишком много файлов"},
    {ENFILE, u"открыто слишком много файлов"},
    {ENOMEM, u"недостаточно памяти"},
};

QString WithDetail(const QString& reason, const QString& detail)
{
    return detail.isEmpty() ? reason : reason + QStringLiteral(" (") + detail + u')';
}

}  // namespace

QString RussianReason(int error)
{
    const QString detail = QString::fromLocal8Bit(std::strerror(error));
    for (const TReason& reason : kReasons)
        if (reason.Error == error)
            return WithDetail(QString::fromUtf16(reason.Text), detail);
    return WithDetail(QStringLiteral("системная ошибка %1").arg(error), detail);
}

QString RussianReason(const QString& systemText)
{
    // The toolkit words a few errors itself, in English (or its translation), whatever the
    // language of the system's own texts.
    static const struct
    {
        int Error;
        const char* Text;
    } kToolkitTexts[] = {{EACCES, "Permission denied"},
                         {EMFILE, "Too many open files"},
                         {ENOENT, "No such file or directory"},
                         {ENOSPC, "No space left on device"}};
    for (const auto& own : kToolkitTexts)
        if (systemText == QLatin1String(own.Text) || systemText == QCoreApplication::translate("QIODevice", own.Text))
            for (const TReason& reason : kReasons)
                if (reason.Error == own.Error)
                    return WithDetail(QString::fromUtf16(reason.Text), systemText);
    for (const TReason& reason : kReasons)
        if (QString::fromLocal8Bit(std::strerror(reason.Error)) == systemText)
            return WithDetail(QString::fromUtf16(reason.Text), systemText);
    return systemText.isEmpty() ? QStringLiteral("неизвестная ошибка")
                                : WithDetail(QStringLiteral("ошибка"), systemText);
}
