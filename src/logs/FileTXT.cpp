#include "logs/FileTXT.h"

#include "common/ProgramFolder.h"
#include "common/TextFile.h"

TFileTXT::TFileTXT(const QString& folder, TClock clock)
    : Folder_(folder), Clock_(clock ? std::move(clock) : TClock(&QDateTime::currentDateTime))
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
        // One reading of the clock names the file and stamps the lines, so a line stamped
        // 23:59:59,999 never lands in the next day's file.
        Now_ = Clock_();
        MakeFileName();
        if (!EnsureFile(FileName_))
            return;
        const QString stamp = Now_.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss,zzz")) + QStringLiteral("  ");
        QStringList text;
        for (qsizetype i = 0; i < lines.size(); ++i)
            text << (stamped.value(i) ? stamp + lines[i] : lines[i]);
        AppendTextLines(FileName_, text);
    } catch (...) {
        // A log never takes the program down with it.
    }
}
