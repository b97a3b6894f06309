#pragma once

#include "common/OperatorMessage.h"

#include <QStringList>

// Collects the operator messages shown while it lives, instead of printing them.
class MessageRecorder
{
public:
    MessageRecorder()
        : Previous_(SetShowMessage([this](const QString& caption, const QString& text, TMessageIcon icon) {
              Messages << caption + u'|' + text + u'|' + QString::number(int(icon));
          }))
    {
    }
    ~MessageRecorder() { SetShowMessage(Previous_); }

    QStringList Messages;

private:
    TShowMessage Previous_;
};

inline const QString kFailureMessage = QStringLiteral("Ошибка|Облом|2");
