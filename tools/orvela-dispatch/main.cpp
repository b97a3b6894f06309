#include "DispatchService.h"
#include "DispatchSettings.h"
#include "Password.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kBadCommandLine = 2;

// A line of standard input; typed without echo when it is a terminal.
QString ReadLine(const QString& prompt, bool secret)
{
    QTextStream(stderr) << prompt << Qt::flush;
    termios saved{};
    const bool terminal = secret && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    // One reader for every line: a stream reads ahead.
    static QTextStream input(stdin);
    const QString line = input.readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        QTextStream(stderr) << u'\n';
    }
    return line;
}

int SetPassword(const QString& path)
{
    QTextStream err(stderr);
    const QString user = ReadLine(QStringLiteral("Имя пользователя: "), false).trimmed();
    if (user.isEmpty() || user.contains(u':')) {
        err << QStringLiteral("Имя пользователя не может быть пустым и содержать «:».\n");
        return 1;
    }
    const QString password = ReadLine(QStringLiteral("Пароль: "), true);
    if (password.size() < 8) {
        err << QStringLiteral("Пароль должен быть не короче 8 знаков.\n");
        return 1;
    }
    if (isatty(STDIN_FILENO) && ReadLine(QStringLiteral("Пароль еще раз: "), true) != password) {
        err << QStringLiteral("Пароли не совпадают.\n");
        return 1;
    }
    const QString hash = HashPassword(password);
    QString error;
    if (hash.isEmpty() || !SavePassword(path, user, hash, &error)) {
        err << QStringLiteral("Пароль не сохранен: ") << (hash.isEmpty() ? QStringLiteral("не удалось получить хеш") : error)
            << u'\n';
        return 1;
    }
    err << QStringLiteral("Пользователь и пароль страницы сохранены в ") << QDir::toNativeSeparators(path) << u'\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvela-dispatch"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Страница диспетчера: все станции предприятия с брокера MQTT. Настройки в INI/Dispatch.ini."));
    parser.addHelpOption();
    const QCommandLineOption broker(QStringLiteral("broker"), QStringLiteral("брокер MQTT, порт 1883 по умолчанию"),
                                    QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("корень тем, orvela по умолчанию"),
                                  QStringLiteral("ROOT"));
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("адрес страницы, 127.0.0.1:8780 по умолчанию"),
                                    QStringLiteral("ADDR:PORT"));
    const QCommandLineOption setPassword(QStringLiteral("set-password"),
                                         QStringLiteral("задать пользователя и пароль страницы и выйти"));
    parser.addOptions({broker, root, listen, setPassword});
    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        err << parser.errorText() << u'\n';
        return kBadCommandLine;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << QStringLiteral("Лишние аргументы: ") << parser.positionalArguments().join(u' ') << u'\n';
        return kBadCommandLine;
    }
    const QString path = DispatchSettingsPath();
    if (parser.isSet(setPassword))
        return SetPassword(path);

    TDispatchSettings settings = ReadDispatchSettings(path);
    QString reason;
    if ((parser.isSet(broker) && !SetBroker(settings, parser.value(broker), reason))
        || (parser.isSet(listen) && !SetListen(settings, parser.value(listen), reason))) {
        err << reason << u'\n';
        return kBadCommandLine;
    }
    if (parser.isSet(root))
        settings.Broker.Root = parser.value(root);
    if (const QString invalid = ValidateDispatchSettings(settings); !invalid.isEmpty()) {
        err << QStringLiteral("Диспетчер не запущен: ") << invalid << u'\n';
        return 1;
    }
    return RunDispatchService(settings);
}
