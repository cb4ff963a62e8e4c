// Where the tool windows open: on the screen's free area, never larger than
// it, beside the main window where there is room, narrowed to the room
// beside it where they can be, over it only where they cannot.
#include <gtest/gtest.h>

#include <QMargins>
#include <QRect>

#include "WindowPlacement.h"

namespace {
const QMargins kFrame(4, 24, 4, 4);

// The main window (652 × 615 inside its frame), centred on the free area.
QRect MainWindowOn(const QRect& area) {
  const QSize outer(652 + 8, 615 + 28);
  return {area.center().x() - outer.width() / 2, area.center().y() - outer.height() / 2, outer.width(),
          outer.height()};
}
}  // namespace

TEST(WindowPlacement, AtTenTwentyFourBySevenSixtyEightNothingLeavesTheScreen) {
  const QRect area(0, 0, 1024, 768 - 28);  // a panel at the bottom
  const QRect main = MainWindowOn(area);
  for (const QSize preferred : {QSize(1240, 700), QSize(560, 600)}) {
    const QRect placed = PlaceBesideRect(area, main, preferred, 420, kFrame);
    EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                       << placed.height();
    EXPECT_LE(placed.width(), area.width());
    EXPECT_LE(placed.height(), area.height());
    EXPECT_LT(placed.right(), main.left() + 480) << "\"Пуск\" and \"Цикл\" stay in view";
  }
}

TEST(WindowPlacement, AtSixteenHundredByAThousandBesideTheMainWindow) {
  const QRect area(0, 0, 1600, 1000 - 28);
  const QRect main = MainWindowOn(area);
  for (const QSize preferred : {QSize(1240, 700), QSize(560, 600)}) {
    const QRect placed = PlaceBesideRect(area, main, preferred, 420, kFrame);
    EXPECT_TRUE(area.contains(placed));
    EXPECT_FALSE(placed.intersects(main)) << "narrowed to the room beside it: " << placed.x() << " "
                                          << placed.width();
    EXPECT_GE(placed.width(), 420 + 8);
  }
  // Two of them, one each side.
  const QRect monitor = PlaceBesideRect(area, main, QSize(1240, 700), 420, kFrame, Side::Left);
  const QRect finder = PlaceBesideRect(area, main, QSize(560, 600), 420, kFrame, Side::Right);
  EXPECT_EQ(monitor.right(), main.left() - 1);
  EXPECT_EQ(finder.left(), main.right() + 1);
  // A window that cannot be that narrow is as narrow as it can be, at the
  // screen's left edge, clear of "Пуск" and "Цикл" on the main window's right.
  const QRect wide = PlaceBesideRect(area, main, QSize(1240, 700), 600, kFrame);
  EXPECT_EQ(wide.left(), area.left());
  EXPECT_EQ(wide.width(), 600 + 8);
  EXPECT_LT(wide.right(), main.left() + 480) << "\"Пуск\" stays in view";
}

TEST(WindowPlacement, WithRoomItKeepsItsSizeBesideTheMainWindow) {
  const QRect area(0, 0, 2560, 1400);
  const QRect main(100, 100, 660, 643);
  const QRect placed = PlaceBesideRect(area, main, QSize(1240, 700), 420, kFrame);
  EXPECT_EQ(placed.left(), main.right() + 1);
  EXPECT_EQ(placed.top(), main.top());
  EXPECT_EQ(placed.size(), QSize(1240 + 8, 700 + 28));
  // On a second screen to the right, the area's own coordinates count.
  const QRect second(2560, 0, 1920, 1080);
  const QRect there = PlaceBesideRect(second, QRect(2660, 100, 660, 643), QSize(560, 600), 420, kFrame);
  EXPECT_TRUE(second.contains(there));
}
