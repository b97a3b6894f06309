#pragma once

#include "logs/FileTXT.h"

// The event log: every exchange on the line. LOG/log_yyyy_mm_dd.txt.
class TLog : public TFileTXT
{
public:
    using TFileTXT::TFileTXT;

    void WriteExchange(const QString& name, const QString& request, const QString& answer);

protected:
    void MakeFileName() override;
};

// The alarm log: state changes the operator must notice. LOG/alarm_yyyy_mm_dd.txt.
class TAlarm : public TFileTXT
{
public:
    using TFileTXT::TFileTXT;

protected:
    void MakeFileName() override;
};
