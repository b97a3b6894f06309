#pragma once

#include <QString>

#include <atomic>
#include <functional>

// Core libraries never open a window: messages for the operator go through one function that the
// application binds to a message box and tests bind to a recorder.
enum class TMessageIcon { Information, Warning, Error };

using TShowMessage = std::function<void(const QString& caption, const QString& text, TMessageIcon icon)>;

// Replaces the bound function and returns the previous one; an empty function restores the
// default, which prints to standard error.
TShowMessage SetShowMessage(TShowMessage show);
void ShowMessage(const QString& caption, const QString& text, TMessageIcon icon);

// The operator's two captions.
inline const QString kCaptionError = QStringLiteral("Ошибка");
inline const QString kCaptionWarning = QStringLiteral("Внимание");

// Diagnostic boxes for swallowed errors appear only when the program was started with "/design".
extern std::atomic<bool> QuietErrors;
void ShowDiagnostic(const QString& caption, const QString& text);
