#include "transport/MessageCatalogue.h"

#include "common/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <libintl.h>

namespace {

bool IsPlainLocale(const char* name)
{
    return !name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

}  // namespace

QString CatalogueFolder()
{
    const QString programFolder = ProgramFolder() + QStringLiteral("locale");
    for (const QString& folder : {programFolder, ExecutableFolder() + QStringLiteral("locale")})
        if (QFileInfo(folder).isDir())
            return folder;
    const QString installed = InstalledDataFolder();
    return installed.isEmpty() ? programFolder : installed + QStringLiteral("locale");
}

QString Translate(const char* domain, const char* text)
{
    if (!*text)
        return {};  // the empty text would look up the catalogue's header
    // Bound on every use: the catalogue folder follows the program folder, and binding is cheap.
    const QByteArray folder = QFile::encodeName(CatalogueFolder());
    bindtextdomain(domain, folder.constData());
    bind_textdomain_codeset(domain, "UTF-8");
    return QString::fromUtf8(dgettext(domain, text));
}

void BindMessageLanguage()
{
    if (!IsPlainLocale(std::setlocale(LC_MESSAGES, nullptr)))
        return;  // an installed locale: gettext follows it
    const char* wanted = nullptr;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            wanted = value;
            break;
        }
    }
    if (IsPlainLocale(wanted) || std::strncmp(wanted, "C.", 2) == 0)
        return;
    // gettext reads LANGUAGE only outside the plain C locale; C.UTF-8 is always there.
    if (!std::setlocale(LC_MESSAGES, "C.UTF-8"))
        return;
    const char* language = std::getenv("LANGUAGE");
    if (!language || !*language) {
        const std::string name(wanted, std::strcspn(wanted, ".@"));  // ru_RU.UTF-8 -> ru_RU
        setenv("LANGUAGE", name.c_str(), 1);
    }
}
