// Windows beyond the operator's daily work (the traffic monitor, ...) are
// opened from the main window without touching its layout: each has an entry
// in the menu of a right click on the window's free area, and a keyboard
// shortcut that the menu shows beside it. A shortcut is taken before the key
// reaches the focused control, so the entries' key filters never see it.
#pragma once

#include <QKeySequence>
#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QWidget;

class TWindowTools : public QObject {
  Q_OBJECT
public:
  explicit TWindowTools(QWidget* window);

  // One more entry: `text` in the menu, `keys` anywhere in the window.
  QAction* Add(const char* text, const QKeySequence& keys, std::function<void()> open);
  QMenu* Menu() const { return menu_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QWidget* window_;
  QMenu* menu_;
};
