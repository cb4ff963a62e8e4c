#include "WindowTools.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QWidget>

#include "HandlerGuard.h"

TWindowTools::TWindowTools(QWidget* window) : QObject(window), window_(window), menu_(new QMenu(window)) {
  menu_->setFont(window->font());
  window_->installEventFilter(this);
}

QAction* TWindowTools::Add(const char* text, const QKeySequence& keys, std::function<void()> open) {
  auto* action = new QAction(QString::fromUtf8(text), window_);
  action->setShortcut(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  connect(action, &QAction::triggered, this, [open = std::move(open)] { Guarded(open); });
  window_->addAction(action);  // the shortcut works while the menu is closed
  menu_->addAction(action);
  return action;
}

// A right click on the window itself, or on a control that has no menu of its
// own (a label, a button), reaches the window as a context-menu event.
bool TWindowTools::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::ContextMenu) {
    menu_->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  return QObject::eventFilter(watched, event);
}
