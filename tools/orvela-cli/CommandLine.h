#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The exit code of a bad command line.
constexpr int kBadCommandLine = 2;

// One subcommand's command line: its own options, its positional words and its help. Options of
// other subcommands are refused by name, so a key that a command does not use never passes.
class TCommandLine
{
public:
    // command: the words that name it ("modbus read"); synopsis: what follows them.
    TCommandLine(const QString& command, const QString& synopsis, const QString& description);

    // An option of this command; valueName empty for a switch.
    QCommandLineOption Add(const QStringList& names, const QString& description,
                                  const QString& valueName = {});
    // The common ones.
    QCommandLineOption AddPort();
    QCommandLineOption AddJson();

    // Parses args, the words after the command's name. Nothing when the command is to run;
    // otherwise the exit code: 0 after --help, 2 after the problem and the usage on standard error.
    std::optional<int> Parse(const QStringList& args, qsizetype minWords, qsizetype maxWords);

    bool IsSet(const QCommandLineOption& option) const { return Parser_.isSet(option); }
    QString Value(const QCommandLineOption& option) const { return Parser_.value(option); }
    std::optional<QString> Port() const;
    const QStringList& Words() const { return Words_; }

    // The problem and the usage on standard error; kBadCommandLine.
    int Bad(const QString& problem) const;

    // what (a key or a word's name) as a whole number within min..max: digits only. Nothing after
    // saying why on standard error.
    std::optional<int> Number(const QString& what, const QString& text, int min, int max) const;
    // An option's number; fallback when the option is not given.
    std::optional<int> Number(const QCommandLineOption& option, int min, int max, std::optional<int> fallback) const;

    QString Help() const;

private:
    QString Command_;
    QString Synopsis_;
    QString Description_;
    QCommandLineParser Parser_;
    QList<QCommandLineOption> Options_;
    QStringList Words_;
};

// Every key any subcommand knows, to tell a misplaced key from an unknown one.
bool IsKnownKey(const QString& name);

// Text from the controller or a file for a terminal: control characters (CR, LF, ESC ...) as \xNN,
// so that a controller cannot move the cursor or recolour the operator's terminal.
QString Printable(const QString& text);

// One JSON document on standard output, UTF-8.
void PrintJson(const QJsonDocument& document);
