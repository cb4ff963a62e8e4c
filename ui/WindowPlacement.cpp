#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <optional>

QRect PlaceBesideRect(const QRect& area, const QRect& busy, QSize preferred, int minimumWidth,
                      const QMargins& frame, Side prefer) {
  const int extraW = frame.left() + frame.right(), extraH = frame.top() + frame.bottom();
  int width = std::min(preferred.width() + extraW, area.width());
  const int height = std::min(preferred.height() + extraH, area.height());
  const int right = area.right() - busy.right();  // room beside it
  const int left = busy.left() - area.left();
  const int first = prefer == Side::Right ? right : left, second = prefer == Side::Right ? left : right;
  const Side other = prefer == Side::Right ? Side::Left : Side::Right;
  // Whole on the side it prefers, else on the other, else narrowed to the
  // room on one of them rather than over the window.
  std::optional<Side> side;
  if (width <= first) {
    side = prefer;
  } else if (width <= second) {
    side = other;
  } else if (first >= minimumWidth + extraW) {
    side = prefer;
    width = first;
  } else if (second >= minimumWidth + extraW) {
    side = other;
    width = second;
  }
  int x;
  if (side) {
    x = *side == Side::Right ? busy.right() + 1 : busy.left() - width;
  } else {
    // No room beside it: as narrow as it can be, at the screen's left edge,
    // so that it covers as little as it must and never the main window's
    // right side, where "Пуск" and "Цикл" are.
    width = std::min(width, std::max(minimumWidth + extraW, std::max(right, left)));
    x = area.left();
  }
  const int y = std::clamp(busy.top(), area.top(), area.bottom() + 1 - height);
  return {std::max(x, area.left()), y, width, height};
}

void PlaceBeside(QWidget* window, const QWidget* main, QSize preferred, Side prefer) {
  const QScreen* screen = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  // The window manager's frame as it framed the main window; roughly, where
  // it has not framed it yet.
  QMargins frame(main->geometry().left() - main->frameGeometry().left(),
                 main->geometry().top() - main->frameGeometry().top(),
                 main->frameGeometry().right() - main->geometry().right(),
                 main->frameGeometry().bottom() - main->geometry().bottom());
  if (frame.isNull()) frame = QMargins(4, 24, 4, 4);
  // A window that sets its own least width knows it better than its layout.
  const int minimumWidth = window->minimumWidth() > 0 ? window->minimumWidth() : window->minimumSizeHint().width();
  const QRect outer = PlaceBesideRect(screen->availableGeometry(), main->frameGeometry(), preferred,
                                      minimumWidth, frame, prefer);
  window->resize(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
  window->move(outer.topLeft());  // a window's position is its frame's
}
