// An up-down spinner bound to an edit box: two arrow buttons that step a
// position within a range, without wrapping; the edit box shows the
// position and its Up and Down keys step it as well.
#pragma once

#include <QWidget>
#include <cstdint>

class QLineEdit;
class QToolButton;

class TUpDown : public QWidget {
  Q_OBJECT
public:
  explicit TUpDown(QWidget* parent);

  int16_t Position() const { return position_; }
  void SetPosition(int16_t value);
  void SetRange(int16_t min, int16_t max);
  void SetAssociate(QLineEdit* edit);

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Step(int delta);
  void Show();

  QToolButton* up_;
  QToolButton* down_;
  QLineEdit* associate_ = nullptr;
  int16_t min_ = 0;
  int16_t max_ = 100;
  int16_t position_ = 0;
};
