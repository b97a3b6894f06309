#pragma once

#include <QString>

// The port's texts in the operator's language: GNU gettext catalogues named after their domain
// ("default" for the port's messages, "cport" for the setup dialog). Without a catalogue a text
// stays as given.
QString Translate(const char* domain, const char* text);

// Where the catalogues are: the folder "locale" of the program folder or beside the executable
// when there is one, else the installed program's share/orvela/locale.
QString CatalogueFolder();

// gettext follows the messages locale and ignores the language asked for in LANG when that locale
// is not installed. This takes the language from LC_ALL, LC_MESSAGES or LANG in that case, so a
// Russian environment shows Russian texts on any machine. Call once at start, before other
// threads run: it may set LANGUAGE and the messages locale.
void BindMessageLanguage();
