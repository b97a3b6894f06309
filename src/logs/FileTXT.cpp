#include "logs/FileTXT.h"

#include "common/ProgramFolder.h"
#include "common/TextFile.h"

#include <QDir>
#include <QTextStream>

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
        std::lock_guard lock(Mutex_);
        // One reading of the clock names the file and stamps the lines, so a line stamped
        // 23:59:59,999 never lands in the next day's file.
        Now_ = Clock_();
        MakeFileName();
        if (!MayWrite())
            return;
        if (!EnsureFile(FileName_)) {
            Tell(QStringLiteral("не удалось создать файл или его папку"));
            return;
        }
        const QString stamp = Now_.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss,zzz")) + QStringLiteral("  ");
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
