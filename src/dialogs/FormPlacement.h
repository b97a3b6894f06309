#pragma once

class QWidget;

// Puts the window in the middle of the screen it is on (or the primary one).
void CentreOnScreen(QWidget* window);
