#pragma once

#include <QString>

// The port's texts in the operator's language: GNU gettext catalogues named after their domain
// ("default" for the port's messages, "cport" for the setup dialog) in the folder "locale" of the
// program folder. Without a catalogue a text stays as given.
QString Translate(const char* domain, const char* text);

// gettext follows the messages locale and ignores the language asked for in LANG when that locale
// is not installed. This takes the language from LC_ALL, LC_MESSAGES or LANG in that case, so a
// Russian environment shows Russian texts on any machine. Call once at start, before other
// threads run: it may set LANGUAGE and the messages locale.
void BindMessageLanguage();
