#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QRect PlaceBesideRect(const QRect& area, const QRect& busy, QSize preferred, int minimumWidth,
                      const QMargins& frame) {
  const int extraW = frame.left() + frame.right(), extraH = frame.top() + frame.bottom();
  int width = std::min(preferred.width() + extraW, area.width());
  const int height = std::min(preferred.height() + extraH, area.height());
  const int right = area.right() - busy.right();  // room beside it
  const int left = busy.left() - area.left();
  int x;
  if (width <= right) {
    x = busy.right() + 1;
  } else if (width <= left) {
    x = busy.left() - width;
  } else if (std::max(right, left) >= minimumWidth + extraW) {
    // Narrowed to the wider side rather than over the window.
    width = std::max(right, left);
    x = right >= left ? busy.right() + 1 : area.left();
  } else {
    // No room beside it: at the screen's right edge, where the window's
    // least used controls are.
    x = area.right() + 1 - width;
  }
  const int y = std::clamp(busy.top(), area.top(), area.bottom() + 1 - height);
  return {std::max(x, area.left()), y, width, height};
}

void PlaceBeside(QWidget* window, const QWidget* main, QSize preferred) {
  const QScreen* screen = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  // The window manager's frame as it framed the main window; roughly, where
  // it has not framed it yet.
  QMargins frame(main->geometry().left() - main->frameGeometry().left(),
                 main->geometry().top() - main->frameGeometry().top(),
                 main->frameGeometry().right() - main->geometry().right(),
                 main->frameGeometry().bottom() - main->geometry().bottom());
  if (frame.isNull()) frame = QMargins(4, 24, 4, 4);
  const int minimumWidth = std::max(window->minimumSizeHint().width(), window->minimumWidth());
  const QRect outer = PlaceBesideRect(screen->availableGeometry(), main->frameGeometry(), preferred,
                                      minimumWidth, frame);
  window->resize(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
  window->move(outer.topLeft());  // a window's position is its frame's
}
