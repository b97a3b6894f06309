#pragma once

#include <QString>

class QWidget;
class TVantor;

// The bodies of the main window's commands on configuration and passport files.

// "Сохранить настройки входов": asks for a file in DATA (proposing PN<plant number>_<date>.txt)
// and saves the controller's inputs there. A failure leaves any old file whole and is shown as
// an "Ошибка" box with the reason.
void SaveInputsConfig(QWidget* parent = nullptr);
// "Открыть настройки входов": asks for a file in DATA and opens the configuration view on it.
void OpenInputsConfig(QWidget* parent = nullptr);
// The passport after a plant-number write, asking with a warning box before it replaces a file.
void SavePassportAsking(const TVantor& vantor, QWidget* parent = nullptr);

// A warning box with OK and Cancel: true for OK. A CR in text breaks the line.
bool ConfirmBox(const QString& caption, const QString& text, QWidget* parent = nullptr);
