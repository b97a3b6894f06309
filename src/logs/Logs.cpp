#include "logs/Logs.h"

namespace {

QString DatedName(const QString& folder, const char* prefix, const QDateTime& now)
{
    return folder + QStringLiteral("LOG/") + QLatin1String(prefix) +
           now.date().toString(QStringLiteral("yyyy_MM_dd")) + QStringLiteral(".txt");
}

}  // namespace

void TLog::WriteExchange(const QString& name, const QString& request, const QString& answer)
{
    Write({name, u'[' + request + QStringLiteral("] -> [") + answer + u']'}, {true, false});
}

void TLog::MakeFileName()
{
    FileName_ = DatedName(Folder(), "log_", Now());
}

void TAlarm::MakeFileName()
{
    FileName_ = DatedName(Folder(), "alarm_", Now());
}
