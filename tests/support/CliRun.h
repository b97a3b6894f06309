#pragma once

#include "SimulatorProcess.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A finished run of orvela-cli: its exit code (-1 when it did not end in time) and what it wrote.
struct CliRun
{
    int ExitCode = -1;
    QString Out;
    QString Err;

    QStringList Lines() const { return Out.split(u'\n', Qt::SkipEmptyParts); }
};

// orvela-cli with args, to its end: with the environment's variables changed as given
// ("LC_ALL=ru_RU.UTF-8"), and run through prefix (setpriv ...) when one is given.
inline CliRun RunCli(const QStringList& args, const QStringList& environment = {}, const QStringList& prefix = {},
                     int limitMs = 120000)
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : environment)
        variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(variables);
    const QString cli = QString::fromStdString(CliExecutable());
    if (prefix.isEmpty())
        process.start(cli, args);
    else
        process.start(prefix.first(), prefix.mid(1) + QStringList{cli} + args);
    CliRun run;
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.ExitCode = process.exitCode();
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
