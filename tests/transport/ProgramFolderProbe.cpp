// Prints where this copy of the program keeps its files, where it finds its message catalogues
// and one port message in the environment's language. The tests copy it into the layouts a
// program runs from: a build tree, a portable copy, an installed prefix, a read-only folder.
#include "common/ProgramFolder.h"
#include "transport/MessageCatalogue.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BindMessageLanguage();
    QTextStream(stdout) << ProgramFolder() << u'\n'
                        << CatalogueFolder() << u'\n'
                        << Translate("default", "Unable to open com port") << u'\n';
    return 0;
}
