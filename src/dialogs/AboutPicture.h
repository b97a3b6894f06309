#pragma once

#include <QPixmap>
#include <QSize>

// The about box's picture: a grain silo with a thermo-rod probe hanging in it, six sensors along
// the rod and radio waves from its head.
QPixmap AboutPicture(const QSize& size);
