#include "ServClass.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "FakeEntry.h"
#include "KeyFilter.h"
#include "RecordingOperator.h"

namespace {

struct Store {
  RecordingOperator boxes;
  int beeps = 0;
  TServClass serv{boxes, [this] { ++beeps; }};
};

std::array<uint8_t, 260> Answer(uint8_t code, std::vector<uint8_t> tail) {
  std::array<uint8_t, 260> a{};
  a[0] = 1;
  a[1] = code;
  std::copy(tail.begin(), tail.end(), a.begin() + 2);
  return a;
}

TEST(ServClassStore, StartsEmpty) {
  Store s;
  EXPECT_EQ(s.serv.DeviceIndex, 0);
  EXPECT_EQ(s.serv.DbLength, 0);
  EXPECT_EQ(s.serv.DbModule, 0);
  for (uint8_t bit : s.serv.InputBits) EXPECT_EQ(bit, 0);
}

TEST(ServClassStore, Code2UnpacksInputsLeastSignificantBitFirst) {
  Store s;
  s.serv.UpdateFromAnswer(2, Answer(2, {3, 0xFF, 0x00, 0x81, 0x55, 0x66}));
  for (int i = 0; i < 192; ++i) {
    const int expected = (i < 8 || i == 16 || i == 23) ? 1 : 0;
    EXPECT_EQ(s.serv.InputBits[i], expected) << "input " << i;
  }

  // Byte count 0 clears every input, even those set before.
  s.serv.UpdateFromAnswer(2, Answer(2, {0, 0xFF, 0xFF, 0xFF}));
  for (uint8_t bit : s.serv.InputBits) EXPECT_EQ(bit, 0);
}

TEST(ServClassStore, Code2StopsAfter24DataBytes) {
  Store s;
  std::vector<uint8_t> tail = {30};
  for (int i = 0; i < 30; ++i) tail.push_back(static_cast<uint8_t>(i < 24 ? 0xA5 : 0xFF));
  s.serv.UpdateFromAnswer(2, Answer(2, tail));
  for (int i = 0; i < 192; ++i) EXPECT_EQ(s.serv.InputBits[i], (0xA5 >> (i % 8)) & 1) << i;
  // The store next to the inputs is untouched.
  for (uint8_t b : s.serv.DbImage) EXPECT_EQ(b, 0);
  for (uint8_t b : s.serv.Data66) EXPECT_EQ(b, 0);
}

TEST(ServClassStore, Code66TakesTwentyFourBytesWhateverTheCount) {
  Store s;
  // Byte count 4: data, CRC and zeros all go in.
  s.serv.UpdateFromAnswer(66, Answer(66, {4, 0x11, 0x22, 0x33, 0x44, 0xC1, 0xC2}));
  const std::array<uint8_t, 24> expected = {0x11, 0x22, 0x33, 0x44, 0xC1, 0xC2};
  EXPECT_EQ(s.serv.Data66, expected);

  std::vector<uint8_t> full = {24};
  for (int i = 0; i < 26; ++i) full.push_back(static_cast<uint8_t>(100 + i));
  s.serv.UpdateFromAnswer(66, Answer(66, full));
  for (int i = 0; i < 24; ++i) EXPECT_EQ(s.serv.Data66[i], 100 + i);
}

TEST(ServClassStore, Code71SplitsFourRecordsIntoBlocksAndTails) {
  Store s;
  std::array<uint8_t, 260> a{};
  for (int i = 0; i < 260; ++i) a[i] = static_cast<uint8_t>(i);
  a[1] = 71;
  s.serv.UpdateFromAnswer(71, a);
  for (int k = 0; k < 4; ++k) {
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 8; ++b)
        EXPECT_EQ(s.serv.Blocks71[k][g][b], static_cast<uint8_t>(3 + 54 * k + 8 * g + b));
    for (int t = 0; t < 6; ++t)
      EXPECT_EQ(s.serv.Tails71[k][t], static_cast<uint8_t>(3 + 54 * k + 48 + t));
  }
  EXPECT_EQ(s.serv.Blocks71[2][0][0], 111);
  EXPECT_EQ(s.serv.Tails71[2][0], 159);
  EXPECT_EQ(s.serv.Tails71[2][5], 164);
}

TEST(ServClassStore, OtherCodesAndShortBuffersAreHarmless) {
  Store s;
  s.serv.UpdateFromAnswer(2, Answer(2, {1, 0x01}));
  for (uint8_t code : {1, 3, 4, 5, 14, 65, 68, 100}) s.serv.UpdateFromAnswer(code, Answer(code, {1, 0}));
  EXPECT_EQ(s.serv.InputBits[0], 1);
  for (uint8_t b : s.serv.Data66) EXPECT_EQ(b, 0);

  // A buffer shorter than the answer layout reads the missing bytes as 0.
  const std::vector<uint8_t> shortAnswer = {1, 2, 3, 0xFF};
  s.serv.UpdateFromAnswer(2, shortAnswer);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s.serv.InputBits[i], 1);
  for (int i = 8; i < 192; ++i) EXPECT_EQ(s.serv.InputBits[i], 0);
  s.serv.UpdateFromAnswer(71, shortAnswer);
  EXPECT_EQ(s.serv.Blocks71[0][0][0], 0xFF);
  EXPECT_EQ(s.serv.Tails71[3][5], 0);
}

TEST(ServClassKeys, DecimalFilterAcceptsDigitsAndEditingKeysOnly) {
  Store s;
  FakeEntry entry("12");
  for (uint16_t key : {48, 57, 96, 105, 8, 46, 16, 17, 37, 39, 144, 20}) {
    EXPECT_EQ(s.serv.CheckDecKey(entry, key), 0) << key;
  }
  EXPECT_TRUE(s.boxes.Boxes.empty());
  EXPECT_EQ(entry.Text(), "12");

  for (uint16_t key : {65, 70, 71, 90, 38, 40, 36, 35, 45, 27, 18, 112, 189, 190, 0, 47, 58, 95, 106}) {
    FakeEntry refused("7");
    EXPECT_EQ(s.serv.CheckDecKey(refused, key), 1) << key;
    EXPECT_EQ(refused.Text(), "00") << key;
  }
  EXPECT_EQ(s.boxes.Boxes.size(), 19u);
}

TEST(ServClassKeys, HexFilterAddsLettersAToF) {
  Store s;
  FakeEntry entry("1");
  for (uint16_t key = 'A'; key <= 'F'; ++key) EXPECT_EQ(s.serv.CheckHexKey(entry, key), 0);
  EXPECT_EQ(s.serv.CheckHexKey(entry, '5'), 0);
  EXPECT_TRUE(s.boxes.Boxes.empty());
  EXPECT_EQ(s.serv.CheckHexKey(entry, 'G'), 1);
  EXPECT_EQ(s.serv.CheckHexKey(entry, '@'), 1);
  EXPECT_EQ(s.boxes.Boxes.size(), 2u);
}

TEST(ServClassKeys, EnterCountsOnlyOnAFilledEntry) {
  Store s;
  FakeEntry filled("12");
  EXPECT_EQ(s.serv.CheckDecKey(filled, 13), 13);
  EXPECT_EQ(s.serv.CheckHexKey(filled, 13), 13);
  EXPECT_EQ(filled.Text(), "12");
  EXPECT_TRUE(s.boxes.Boxes.empty());

  FakeEntry empty("");
  EXPECT_EQ(s.serv.CheckHexKey(empty, 13), 1);
  EXPECT_EQ(empty.Text(), "00");
  ASSERT_EQ(s.boxes.Boxes.size(), 1u);
}

TEST(ServClassKeys, InputErrorGoesRedBeepsShowsTheBoxThenWhiteWith00) {
  Store s;
  FakeEntry entry("123");
  std::vector<std::array<uint8_t, 3>> coloursDuringBox;
  std::string textDuringBox;
  int beepsBeforeBox = -1;
  s.boxes.OnShow = [&](const RecordedBox&) {
    coloursDuringBox = entry.colours;
    textDuringBox = entry.Text();
    beepsBeforeBox = s.beeps;
  };
  s.serv.InputError(entry);

  ASSERT_EQ(s.boxes.Boxes.size(), 1u);
  EXPECT_EQ(s.boxes.Boxes[0].Text, " Ошибка ввода ");
  EXPECT_EQ(s.boxes.Boxes[0].Caption, "Ошибка");
  EXPECT_EQ(s.boxes.Boxes[0].Icon, MsgIcon::Error);
  EXPECT_EQ(s.boxes.Boxes[0].Buttons, MsgButtons::Ok);
  const std::vector<std::array<uint8_t, 3>> red = {{255, 0, 0}};
  EXPECT_EQ(coloursDuringBox, red);
  EXPECT_EQ(textDuringBox, "123");
  EXPECT_EQ(beepsBeforeBox, 1);
  const std::vector<std::array<uint8_t, 3>> redThenWhite = {{255, 0, 0}, {255, 255, 255}};
  EXPECT_EQ(entry.colours, redThenWhite);
  EXPECT_EQ(entry.Text(), "00");

  s.serv.InputError(entry, "другой текст");
  EXPECT_EQ(s.boxes.Boxes.back().Text, "другой текст");
}

TEST(ServClassKeys, CheckEmpty) {
  Store s;
  FakeEntry filled("0");
  EXPECT_EQ(s.serv.CheckEmpty(filled), 0);
  EXPECT_TRUE(s.boxes.Boxes.empty());
  FakeEntry empty("");
  EXPECT_EQ(s.serv.CheckEmpty(empty), 1);
  EXPECT_EQ(empty.Text(), "00");
  EXPECT_EQ(s.boxes.Boxes.size(), 1u);
  EXPECT_EQ(s.beeps, 1);
}

TEST(ServClassKeys, ClassifyKeyIsPure) {
  EXPECT_EQ(ClassifyKey(13, false, true), KeyVerdict::Rejected);
  EXPECT_EQ(ClassifyKey(13, true, false), KeyVerdict::Enter);
  EXPECT_EQ(ClassifyKey('C', false, false), KeyVerdict::Rejected);
  EXPECT_EQ(ClassifyKey('C', true, false), KeyVerdict::Accepted);
}

}  // namespace
