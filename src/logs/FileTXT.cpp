#include "logs/FileTXT.h"

#include "common/LocalClock.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"

#include <QDir>
#include <QTextStream>

namespace {

// "08.12.2026 14:05:09,042  ", digit by digit: the event log stamps a line at every exchange, and
// a formatted print costs more than the rest of the line.
QString Stamp(const QDateTime& now)
{
    if (!now.isValid())
        return QStringLiteral("  ");
    const QDate date = now.date();
    const QTime time = now.time();
    QString stamp(25, u' ');
    QChar* out = stamp.data();
    const auto put = [&out](int value, int digits, char16_t after) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            out[i] = QChar(u'0' + value % 10);
        out += digits;
        *out++ = QChar(after);
    };
    put(date.day(), 2, u'.');
    put(date.month(), 2, u'.');
    put(date.year(), 4, u' ');
    put(time.hour(), 2, u':');
    put(time.minute(), 2, u':');
    put(time.second(), 2, u',');
    put(time.msec(), 3, u' ');
    return stamp;
}

}  // namespace

TFileTXT::TFileTXT(const QString& folder, TClock clock)
    : Folder_(folder), Clock_(clock ? std::move(clock) : TClock(&LocalNow))
{
}

void TFileTXT::WriteLine(const QString& text)
{
    Write({text}, {true});
}

void TFileTXT::WriteStart()
{
    Write({QString(), QStringLiteral("СТАРТ ПРОГРАММЫ")}, {false, true});
}

void TFileTXT::Write(const QStringList& lines, const QList<bool>& stamped)
{
    if (!Enabled)
        return;
    try {
        std::lock_guard lock(Mutex_);
        // One reading of the clock names the file and stamps the lines, so a line stamped
        // 23:59:59,999 never lands in the next day's file.
        Now_ = Clock_();
        // The name changes with the day only.
        if (Now_.date() != NamedDay_ || FileName_.isEmpty()) {
            MakeFileName();
            NamedDay_ = Now_.date();
        }
        if (!MayWrite())
            return;
        if (!EnsureFile(FileName_)) {
            Tell(QStringLiteral("не удалось создать файл или его папку"));
            return;
        }
        const QString stamp = Stamp(Now_);
        QStringList text;
        for (qsizetype i = 0; i < lines.size(); ++i)
            text << (stamped.value(i) ? stamp + lines[i] : lines[i]);
        QString error;
        Tell(AppendTextLines(FileName_, text, &error) ? QString() : error);
    } catch (...) {
        // A log never takes the program down with it.
    }
}

void TFileTXT::Tell(const QString& trouble)
{
    if (trouble.isEmpty() == !Failing_)
        return;
    Failing_ = !trouble.isEmpty();
    const QString text = Failing_ ? Title() + QStringLiteral(" не записывается: ") +
                                        QDir::toNativeSeparators(FileName_) + QStringLiteral(": ") + trouble
                                  : QString();
    if (Failing_)
        QTextStream(stderr) << text << Qt::endl;
    if (OnTrouble)
        OnTrouble(text);
}
