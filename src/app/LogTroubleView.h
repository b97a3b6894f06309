#pragma once

#include "common/PostedCalls.h"
#include "logs/LogsUnit.h"

#include <QString>

class QLabel;
class QStatusBar;

// A log that cannot be written is told at the right of the status bar until it writes again.
// The logs tell it from the thread that writes; the panel is changed in the window's thread.
class TLogTroubleView
{
public:
    explicit TLogTroubleView(QStatusBar* bar);
    ~TLogTroubleView();
    TLogTroubleView(const TLogTroubleView&) = delete;
    TLogTroubleView& operator=(const TLogTroubleView&) = delete;

private:
    void Show(TLogKind log, const QString& text);

    QLabel* Panel_;
    QString Texts_[2];
    TPostedCalls Calls_;
};
