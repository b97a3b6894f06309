#pragma once

class QTranslator;

// Loads the toolkit's own texts (standard buttons, file dialogs) in the language of the system
// locale, from the translations the distribution installs where the toolkit keeps them. The
// translator belongs to the application; nullptr when there are none for the language.
QTranslator* InstallToolkitTranslations();
