#pragma once

#include <QString>

// The program's title: the main window's caption and the about box's heading. It is not given to
// the toolkit as the application's display name, which X11 window titles would then all end with.
inline QString ProgramTitle()
{
    return QStringLiteral("Orvela - Программа настройки");
}
