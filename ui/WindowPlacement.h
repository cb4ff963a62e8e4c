// Where a tool window (the traffic monitor, the device finder) opens the
// first time: on the screen of the window it belongs to, never wider or
// taller than that screen's free area, and beside that window rather than
// over it wherever the screen has room for it (narrowed to the room, down to
// its minimum width). Without that room it is as narrow as it can be, at the
// screen's left edge, clear of the main window's right side.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Which side of the main window a tool window takes where both have room,
// so that two of them stand one each side.
enum class Side { Right, Left };

// The frame rectangle for a window of `preferred` client size (at least
// `minimum` wide where it is narrowed) next to `busy` (the frame of the
// window it belongs to) on a screen whose free area is `area`; `frame` is
// what the window manager adds around the client area.
QRect PlaceBesideRect(const QRect& area, const QRect& busy, QSize preferred, int minimumWidth,
                      const QMargins& frame, Side prefer = Side::Right);

// Resizes and moves `window` so, beside `main`.
void PlaceBeside(QWidget* window, const QWidget* main, QSize preferred, Side prefer);
