// The trend's poll list: what an entry takes, and the cycle's turns.
#include <gtest/gtest.h>

#include "PollList.h"

TEST(PollList, EntriesThatReadAreTakenOthersAreRefusedWithAReason) {
  std::string error;
  auto entry = ParsePollEntry("5", "3", "00 10 00 04", error);
  ASSERT_TRUE(entry) << error;
  EXPECT_EQ(entry->Device, 5);
  EXPECT_EQ(entry->Code, 3);
  EXPECT_EQ(entry->Data, (std::vector<uint8_t>{0x00, 0x10, 0x00, 0x04}));
  EXPECT_TRUE(ParsePollEntry(" 247 ", "4", "0000007F", error)) << error;
  EXPECT_TRUE(ParsePollEntry("1", "67", "00 05", error)) << error;
  EXPECT_TRUE(ParsePollEntry("1", "17", "", error)) << error;

  struct Bad {
    const char *Device, *Code, *Data, *Says;
  };
  for (const Bad& bad : {Bad{"0", "3", "00 00 00 01", "адрес"}, Bad{"248", "3", "00 00 00 01", "адрес"},
                         Bad{"x", "3", "00 00 00 01", "адрес"}, Bad{"1", "16", "00 00 00 01", "номер функции"},
                         Bad{"1", "6", "00 00 00 01", "изменяет"}, Bad{"1", "5", "00 00 FF 00", "изменяет"},
                         Bad{"1", "70", "", "изменяет"}, Bad{"1", "3", "0 0", "шестнадцатеричном"},
                         Bad{"1", "3", "00 00 00 00", "количество"}, Bad{"1", "3", "00 00 00 80", "количество"},
                         Bad{"1", "1", "00 00 07 F9", "количество"}, Bad{"1", "3", "00 00", "количество"}}) {
    error.clear();
    EXPECT_FALSE(ParsePollEntry(bad.Device, bad.Code, bad.Data, error)) << bad.Device << " " << bad.Code << " " << bad.Data;
    EXPECT_NE(error.find(bad.Says), std::string::npos) << error;
  }
}

TEST(PollList, ACycleRunsEachEntryOnceAndADueCycleUnderWayIsMissed) {
  PollCycle cycle;
  EXPECT_FALSE(cycle.Begin()) << "an empty list";
  std::string error;
  cycle.SetEntries({*ParsePollEntry("1", "3", "00 00 00 01", error), *ParsePollEntry("2", "4", "00 00 00 02", error)});
  ASSERT_TRUE(cycle.Begin());
  EXPECT_EQ(cycle.Next()->Device, 1);
  EXPECT_FALSE(cycle.Begin()) << "the cycle under way is not cut short";
  EXPECT_EQ(cycle.Missed(), 1u);
  EXPECT_EQ(cycle.Next()->Device, 2);
  EXPECT_FALSE(cycle.Next());
  EXPECT_TRUE(cycle.Begin());
  EXPECT_EQ(cycle.Cycles(), 2u);
  cycle.Stop();
  EXPECT_FALSE(cycle.Next());
}
