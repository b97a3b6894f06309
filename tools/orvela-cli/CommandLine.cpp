#include "CommandLine.h"


#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

// Keys of every subcommand, so that one given to the wrong command is called misplaced.
const QSet<QString>& KnownKeys()
{
    static const QSet<QString> keys{"h",      "help",  "port",    "json",  "rounds", "interval", "start", "stop",
                                    "current", "plant", "bound", "period", "enabled", "input",  "from", "to", "csv",
                                    "broker", "root"};
    return keys;
}

QString Dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

bool AllDigits(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

TCommandLine::TCommandLine(const QString& command, const QString& synopsis, const QString& description)
    : Command_(command), Synopsis_(synopsis), Description_(description)
{
    Parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    Add({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("эта справка"));
}

QCommandLineOption TCommandLine::Add(const QStringList& names, const QString& description,
                                            const QString& valueName)
{
    QCommandLineOption option(names, description, valueName);
    Parser_.addOption(option);
    Options_ << option;
    return option;
}

QCommandLineOption TCommandLine::AddPort()
{
    return Add({QStringLiteral("port")}, QStringLiteral("порт на этот запуск; INI/ComPort.ini не меняется"),
               QStringLiteral("PATH"));
}

QCommandLineOption TCommandLine::AddJson()
{
    return Add({QStringLiteral("json")}, QStringLiteral("вывести результат одним документом JSON (UTF-8)"));
}

std::optional<int> TCommandLine::Parse(const QStringList& args, qsizetype minWords, qsizetype maxWords)
{
    if (!Parser_.parse(QStringList{QStringLiteral("orvela-cli")} + args)) {
        const QStringList unknown = Parser_.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString key = Dashed(unknown.first());
            return Bad(IsKnownKey(unknown.first())
                           ? QStringLiteral("Ключ %1 не относится к команде %2").arg(key, Command_)
                           : QStringLiteral("Неизвестный ключ: ") + key);
        }
        // A key that wants a value came last.
        for (const QCommandLineOption& option : std::as_const(Options_))
            for (const QString& name : option.names())
                if (!option.valueName().isEmpty() && !args.isEmpty() && args.last() == Dashed(name))
                    return Bad(QStringLiteral("Нет значения для ") + Dashed(name));
        return Bad(QStringLiteral("Неверная командная строка: ") + Parser_.errorText());
    }
    if (Parser_.isSet(Options_.first())) {
        QTextStream(stdout) << Help();
        return 0;
    }
    Words_ = Parser_.positionalArguments();
    if (Words_.size() < minWords)
        return Bad(QStringLiteral("Не хватает аргументов команды ") + Command_);
    if (Words_.size() > maxWords)
        return Bad(QStringLiteral("Лишний аргумент: ") + Words_.value(maxWords));
    return std::nullopt;
}

std::optional<QString> TCommandLine::Port() const
{
    for (const QCommandLineOption& option : Options_)
        if (option.names().contains(QStringLiteral("port")) && Parser_.isSet(option))
            return Parser_.value(option);
    return std::nullopt;
}

int TCommandLine::Bad(const QString& problem) const
{
    QTextStream err(stderr);
    err << problem << u'\n' << Help();
    return kBadCommandLine;
}

std::optional<int> TCommandLine::Number(const QString& what, const QString& text, int min, int max) const
{
    bool ok = AllDigits(text) && text.size() <= 9;
    const int value = ok ? text.toInt() : 0;
    if (ok && value >= min && value <= max)
        return value;
    Bad(QStringLiteral("Неверное значение %1: %2 (допустимо %3..%4)").arg(what, text).arg(min).arg(max));
    return std::nullopt;
}

std::optional<int> TCommandLine::Number(const QCommandLineOption& option, int min, int max,
                                        std::optional<int> fallback) const
{
    if (!Parser_.isSet(option)) {
        if (!fallback)
            Bad(QStringLiteral("Не указан ключ ") + Dashed(option.names().last()));
        return fallback;
    }
    return Number(Dashed(option.names().last()), Parser_.value(option), min, max);
}

QString TCommandLine::Help() const
{
    QString help = QStringLiteral("Использование: orvela-cli ") + Command_ + u' ' + Synopsis_ + u'\n' + Description_ + u'\n';
    QStringList keys;
    qsizetype width = 0;
    for (const QCommandLineOption& option : Options_) {
        QStringList names;
        for (const QString& name : option.names())
            names << Dashed(name);
        QString key = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            key += u' ' + option.valueName();
        keys << key;
        width = std::max(width, key.size());
    }
    help += QStringLiteral("Ключи:\n");
    for (qsizetype i = 0; i < Options_.size(); ++i)
        help += QStringLiteral("  ") + keys[i].leftJustified(width + 2) + Options_[i].description() + u'\n';
    return help;
}

bool IsKnownKey(const QString& name)
{
    return KnownKeys().contains(name);
}

QString Printable(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

void PrintJson(const QJsonDocument& document)
{
    const QByteArray bytes = document.toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
