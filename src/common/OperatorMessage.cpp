#include "common/OperatorMessage.h"

#include <QMutex>

#include <cstdio>

namespace {

QMutex guard;
TShowMessage bound;

void PrintMessage(const QString& caption, const QString& text, TMessageIcon)
{
    // One message, one line: the line break of a box becomes a blank.
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(QString(text).replace(u'\r', u' ')));
}

}  // namespace

TShowMessage SetShowMessage(TShowMessage show)
{
    const QMutexLocker lock(&guard);
    std::swap(bound, show);
    return show;
}

void ShowMessage(const QString& caption, const QString& text, TMessageIcon icon)
{
    TShowMessage show;
    {
        const QMutexLocker lock(&guard);
        show = bound;
    }
    // Called outside the lock: a message box runs a nested event loop.
    if (show)
        show(caption, text, icon);
    else
        PrintMessage(caption, text, icon);
}

std::atomic<bool> QuietErrors{true};

void ShowDiagnostic(const QString& caption, const QString& text)
{
    if (!QuietErrors)
        ShowMessage(caption, text, TMessageIcon::Warning);
}
