// Fault specifications, their effect on an answer, probabilities under a
// seed, and the script of behaviours per request.
#include <gtest/gtest.h>

#include <sstream>

#include "Faults.h"
#include "ReplyScript.h"
#include "SimBus.h"
#include "SimCrc.h"
#include "SimTestSupport.h"

namespace {
Fault Parse(const std::string& text) {
  std::string error;
  auto fault = ParseFault(text, &error);
  EXPECT_TRUE(fault) << text << ": " << error;
  return fault.value_or(Fault{FaultKind::Silence});
}
Reply Apply(const std::vector<uint8_t>& answer, std::initializer_list<const char*> faults) {
  std::vector<Fault> list;
  for (const char* f : faults) list.push_back(Parse(f));
  std::mt19937 random(1);
  return ApplyFaults(answer, list, random);
}
}  // namespace

TEST(Faults, SpecificationsAreParsedOrRefused) {
  EXPECT_EQ(Parse("partial:3").arg, 3);
  EXPECT_EQ(Parse("exception:6").kind, FaultKind::Exception);
  EXPECT_DOUBLE_EQ(Parse("badcrc@0.25").probability, 0.25);
  EXPECT_EQ(Parse("delay:1500@1").arg, 1500);
  EXPECT_EQ(Parse("garbage").arg, 0);
  EXPECT_EQ(Parse("garbage:9").arg, 9);
  EXPECT_EQ(FaultName(Parse("exception:6@0.5")), "exception:6");
  for (const char* bad : {"", "loud", "partial", "partial:x", "exception:0", "exception:256", "delay:-1",
                          "badcrc:2", "silence@1.5", "silence@", "wrongfunc@x"}) {
    std::string error;
    EXPECT_FALSE(ParseFault(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(Faults, EachKindAltersTheAnswerAsNamed) {
  const auto answer = WithCrc({1, 3, 2, 0x00, 0x2A});
  EXPECT_TRUE(Apply(answer, {"silence"}).bytes.empty());
  EXPECT_EQ(Apply(answer, {"partial:3"}).bytes, std::vector<uint8_t>(answer.begin(), answer.begin() + 3));
  EXPECT_EQ(Apply(answer, {"partial:10"}).bytes, answer);

  const auto bad = Apply(answer, {"badcrc"}).bytes;
  ASSERT_EQ(bad.size(), answer.size());
  EXPECT_TRUE(std::equal(answer.begin(), answer.end() - 2, bad.begin()));
  EXPECT_FALSE(FrameCrcGood(bad));

  const auto func = Apply(answer, {"wrongfunc"}).bytes;
  EXPECT_NE(func[1], 3);
  EXPECT_NE(func[1], 0x83);
  EXPECT_TRUE(FrameCrcGood(func));

  const auto addr = Apply(answer, {"wrongaddr"}).bytes;
  EXPECT_NE(addr[0], 1);
  EXPECT_EQ(addr[1], 3);
  EXPECT_TRUE(FrameCrcGood(addr));

  EXPECT_EQ(Apply(answer, {"exception:4"}).bytes, WithCrc({1, 0x83, 4}));

  const auto late = Apply(answer, {"delay:120"});
  EXPECT_EQ(late.bytes, answer);
  EXPECT_EQ(late.delay, 120ms);

  EXPECT_EQ(Apply(answer, {"garbage:7"}).bytes.size(), 7u);
  EXPECT_EQ(Apply(answer, {"garbage"}).bytes.size(), answer.size());
  EXPECT_NE(Apply(answer, {"garbage"}).bytes, answer);

  // Combined faults act in a fixed order, whatever order they came in.
  EXPECT_EQ(Apply(answer, {"partial:2", "exception:2"}).bytes, Bytes({1, 0x83}));
  const auto both = Apply(answer, {"delay:30", "silence"});
  EXPECT_TRUE(both.bytes.empty());
  EXPECT_EQ(both.delay, 30ms);
}

TEST(Faults, ProbabilitiesAreReproducibleUnderASeed) {
  const std::vector<Fault> faults{Parse("badcrc@0.5")};
  auto draws = [&](uint32_t seed) {
    std::mt19937 random(seed);
    std::string pattern;
    for (int i = 0; i < 1000; ++i) pattern += DrawFaults(faults, random).empty() ? '.' : 'x';
    return pattern;
  };
  EXPECT_EQ(draws(42), draws(42));
  EXPECT_NE(draws(42), draws(43));
  const std::string pattern = draws(42);
  const auto hits = std::count(pattern.begin(), pattern.end(), 'x');
  EXPECT_GT(hits, 400);
  EXPECT_LT(hits, 600);

  std::mt19937 random(1);
  EXPECT_TRUE(DrawFaults({Parse("silence@0")}, random).empty());
  EXPECT_EQ(DrawFaults({Parse("silence")}, random).size(), 1u);
}

TEST(ReplyScript, StepsApplyToSuccessiveRequestsThenTheFaultsOfTheCommandLine) {
  std::istringstream text(
      "# one line per request\n"
      "badcrc\n"
      "\n"
      "ok\n"
      "send 01 03 02 00 2a   # exact bytes\n"
      "partial:3 delay:20\n");
  std::string error;
  auto script = ParseScript(text, &error);
  ASSERT_TRUE(script) << error;
  ASSERT_EQ(script->size(), 4u);

  SimOptions options;
  options.script = *script;
  options.faults = {Parse("exception:4")};
  SimBus bus(options);
  const auto request = WithCrc({1, 3, 0, 0, 0, 1});
  const auto normal = WithCrc({1, 3, 2, 0x03, 0xE8});
  EXPECT_TRUE(bus.Handle(WithCrc({9, 3, 0, 0, 0, 1})).bytes.empty());  // not ours: no step used
  EXPECT_FALSE(FrameCrcGood(bus.Handle(request).bytes));
  EXPECT_EQ(bus.Handle(request).bytes, normal);
  EXPECT_EQ(bus.Handle(request).bytes, Bytes({1, 3, 2, 0, 0x2A}));
  const auto cut = bus.Handle(request);
  EXPECT_EQ(cut.bytes, std::vector<uint8_t>(normal.begin(), normal.begin() + 3));
  EXPECT_EQ(cut.delay, 20ms);
  EXPECT_EQ(bus.Handle(request).bytes, WithCrc({1, 0x83, 4}));

  for (const char* bad : {"send 1FF\n", "ok partial:3\n", "loud\n", "ok\nsend zz\n"}) {
    std::istringstream in(bad);
    EXPECT_FALSE(ParseScript(in, &error)) << bad;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
  }
}
