// How answers are laid out in the display fields and the grid.
#include <gtest/gtest.h>

#include <array>

#include "AnswerDisplay.h"
#include "OperatorInterface.h"
#include "ServClass.h"

namespace {
struct NoBoxes : OperatorInterface {
  MsgResult ShowMessage(const std::string&, const std::string&, MsgIcon, MsgButtons) override {
    return MsgResult::Ok;
  }
  void DisablePollTimer() override {}
  void CloseMainWindow() override {}
};

struct Fixture {
  NoBoxes boxes;
  TServClass store{boxes, [] {}};
  std::array<uint8_t, kAnswerBufferSize> answer{};
};
}  // namespace

TEST(AnswerDisplay, TenRegistersFromDeviceOne) {
  Fixture f;
  const uint8_t head[] = {0x01, 0x03, 0x14};
  std::copy(std::begin(head), std::end(head), f.answer.begin());
  for (int i = 0; i < 20; ++i) f.answer[3 + static_cast<size_t>(i)] = static_cast<uint8_t>(0xA0 + i);
  f.answer[23] = 0x12;  // CRC
  f.answer[24] = 0x34;
  const AnswerLayout l = LayOutAnswer(3, 0, f.answer, f.store);
  EXPECT_EQ(l.Fields[0], "1");
  EXPECT_EQ(l.Fields[1], "3");
  EXPECT_EQ(l.Fields[2], "20");
  EXPECT_EQ(l.Fields[3], "A0");
  EXPECT_EQ(l.Fields[19], "B0");
  ASSERT_TRUE(l.Grid);
  const GridTexts& g = *l.Grid;
  EXPECT_EQ(g[0][0], "A0");
  EXPECT_EQ(g[1][3], "B3");
  EXPECT_EQ(g[1][4], "12");
  EXPECT_EQ(g[1][5], "34");
  EXPECT_EQ(g[1][6], "00");
  EXPECT_EQ(g[12][15], "00");
  EXPECT_EQ(g[13][0], "") << "rows 14..16 are empty";
  EXPECT_EQ(g[15][15], "");
}

TEST(AnswerDisplay, ExceptionsSilenceAndCodesWithoutGrid) {
  Fixture f;
  f.answer[0] = 1;
  f.answer[1] = 0x83;
  f.answer[2] = 2;
  AnswerLayout l = LayOutAnswer(3, 2, f.answer, f.store);
  EXPECT_EQ(l.Fields[1], "131");
  EXPECT_EQ(l.Fields[2], "2");
  EXPECT_EQ(l.Fields[3], "00");
  ASSERT_TRUE(l.Grid) << "a failed exchange is shown like a good one";
  EXPECT_EQ((*l.Grid)[12][0], "00");

  f.answer.fill(0);
  l = LayOutAnswer(3, 130, f.answer, f.store);
  EXPECT_FALSE(l.Grid) << "no answer leaves the grid alone";
  EXPECT_EQ(l.Fields[0], "0");
  EXPECT_EQ(l.Fields[19], "00");
  for (uint8_t code : {1, 5, 6, 14, 15, 17, 69, 70, 100}) EXPECT_FALSE(LayOutAnswer(code, 0, f.answer, f.store).Grid);
}

TEST(AnswerDisplay, GridFormsPerCode) {
  Fixture f;
  for (size_t i = 0; i < f.answer.size(); ++i) f.answer[i] = static_cast<uint8_t>(i);
  AnswerLayout l = LayOutAnswer(67, 0, f.answer, f.store);
  EXPECT_EQ((*l.Grid)[0][0], "3") << "code 67 is decimal";
  EXPECT_EQ((*l.Grid)[7][15], "130");
  EXPECT_EQ((*l.Grid)[8][0], "");

  l = LayOutAnswer(68, 0, f.answer, f.store);
  EXPECT_EQ((*l.Grid)[14][7], "EA") << "data byte 231 is answer byte 234";
  EXPECT_EQ((*l.Grid)[14][8], "00") << "answer bytes past 234 are never shown";
  EXPECT_EQ((*l.Grid)[15][0], "");

  l = LayOutAnswer(66, 0, f.answer, f.store);
  EXPECT_EQ((*l.Grid)[1][15], "22");
  EXPECT_EQ((*l.Grid)[2][0], "");

  f.store.InputBits[9] = 1;
  l = LayOutAnswer(2, 0, f.answer, f.store);
  EXPECT_EQ((*l.Grid)[0][9], "01");
  EXPECT_EQ((*l.Grid)[0][8], "00");
  EXPECT_EQ((*l.Grid)[11][15], "00");
  EXPECT_EQ((*l.Grid)[12][0], "");
}
