#pragma once

#include <QString>

class QAction;
class QMenuBar;

// Accelerator letters: the shown text stays as it is, its letter underlined. A letter that begins
// a word is taken first, then any other; Russian letters before any other character.

// Every menu of bar, and every item of each menu, a letter unique among its neighbours.
void AssignAccelerators(QMenuBar* bar);
// A new text for action that keeps its letter where the text still has it.
void SetTextKeepingAccelerator(QAction* action, const QString& text);
