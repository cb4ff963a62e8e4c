// Typed values against numbers computed independently: every type, order and
// offset read by Python's struct module from the same bytes; NaN and the
// infinities; text of odd lengths; the command line's value specifications.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "TypedValue.h"

namespace {

// Reads each case "HEX OFFSET TYPE ORDER" and prints the value struct finds:
// ABCD big-endian and DCBA little-endian as they are, BADC and CDAB the same
// two after the bytes of each register are swapped. Text keeps its registers
// in order and swaps their bytes for BADC and DCBA.
constexpr const char* kStructScript = R"PY(
import struct, sys
formats = {'u16': 'H', 's16': 'h', 'u32': 'I', 's32': 'i', 'u64': 'Q', 's64': 'q', 'f32': 'f', 'f64': 'd'}
for line in open(sys.argv[1]):
    hexbytes, offset, kind, order = line.split()
    data = bytes.fromhex(hexbytes)[int(offset):]
    if kind.startswith('str'):
        n = int(kind[3:])
        raw = data[:(n + 1) // 2 * 2]
    else:
        raw = data[:struct.calcsize(formats[kind])]
    swap = ('BADC', 'DCBA') if kind.startswith('str') else ('BADC', 'CDAB')
    if order in swap:
        raw = b''.join(raw[i:i + 2][::-1] for i in range(0, len(raw), 2))
    if kind.startswith('str'):
        print(struct.unpack('%ds' % n, raw[:n])[0].decode('ascii'))
        continue
    endian = '>' if order in ('ABCD', 'BADC') else '<'
    print(repr(struct.unpack(endian + formats[kind], raw)[0]))
)PY";

struct Case {
  std::vector<uint8_t> Data;
  ValueDef Def;
};

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    text += pair;
  }
  return text;
}

// Python's answers to `cases`, one line each.
std::vector<std::string> AskPython(const std::vector<Case>& cases) {
  const auto dir = std::filesystem::temp_directory_path() / ("typed-values-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  {
    std::ofstream script(dir / "values.py");
    script << kStructScript;
    std::ofstream list(dir / "cases.txt");
    for (const Case& c : cases)
      list << Hex(c.Data) << ' ' << c.Def.Offset << ' ' << TypeName(c.Def) << ' '
           << ByteOrderName(c.Def.Order) << '\n';
  }
  const std::string command = "python3 " + (dir / "values.py").string() + " " + (dir / "cases.txt").string();
  std::vector<std::string> lines;
  if (FILE* out = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out)) {
      std::string line(buffer);
      if (!line.empty() && line.back() == '\n') line.pop_back();
      lines.push_back(line);
    }
    pclose(out);
  }
  std::filesystem::remove_all(dir);
  return lines;
}

constexpr ValueType kNumberTypes[] = {ValueType::U16, ValueType::S16, ValueType::U32, ValueType::S32,
                                      ValueType::U64, ValueType::S64, ValueType::F32, ValueType::F64};

// Numbers that are easy to get wrong: NaN (quiet and signalling), the
// infinities, negative zero, the smallest subnormal, the largest finite.
std::vector<std::vector<uint8_t>> SpecialFloats() {
  return {{0x7F, 0xC0, 0x00, 0x00}, {0x7F, 0x80, 0x00, 0x01}, {0x7F, 0x80, 0x00, 0x00},
          {0xFF, 0x80, 0x00, 0x00}, {0x80, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x01},
          {0x7F, 0x7F, 0xFF, 0xFF}, {0x7F, 0xF8, 0, 0, 0, 0, 0, 0}, {0x7F, 0xF0, 0, 0, 0, 0, 0, 0},
          {0xFF, 0xF0, 0, 0, 0, 0, 0, 0}, {0x7F, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
          {0x00, 0x00, 0, 0, 0, 0, 0, 0x01}, {0xC0, 0x24, 0, 0, 0, 0, 0, 0}};
}

void ExpectSame(const TypedValue& ours, const std::string& python, const ValueDef& def) {
  SCOPED_TRACE(TypeName(def) + " " + ByteOrderName(def.Order) + " at " + std::to_string(def.Offset) +
               ": Python says " + python);
  if (def.Type == ValueType::F32 || def.Type == ValueType::F64) {
    ASSERT_EQ(ours.Is, TypedValue::Kind::Real);
    const double theirs = std::strtod(python.c_str(), nullptr);
    if (std::isnan(theirs)) {
      EXPECT_TRUE(std::isnan(ours.R));
      EXPECT_EQ(ValueText(ours), "NaN");
      return;
    }
    EXPECT_EQ(std::memcmp(&ours.R, &theirs, sizeof theirs), 0) << "ours " << ours.R;
    // The text reads back as the same number of the same width.
    const std::string text = ValueText(ours);
    if (def.Type == ValueType::F32)
      EXPECT_EQ(std::strtof(text.c_str(), nullptr), static_cast<float>(theirs)) << text;
    else
      EXPECT_EQ(std::strtod(text.c_str(), nullptr), theirs) << text;
    return;
  }
  EXPECT_EQ(ValueText(ours), python);
}
}  // namespace

TEST(TypedValue, EveryTypeOrderAndOffsetAsPythonsStructReadsThem) {
  std::mt19937 random(19);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<Case> cases;
  for (int round = 0; round < 12; ++round) {
    std::vector<uint8_t> data(20);
    for (auto& b : data) b = static_cast<uint8_t>(byte(random));
    for (ValueType type : kNumberTypes)
      for (ByteOrder order : kByteOrders)
        for (size_t offset : {0, 2, 3, 12}) cases.push_back({data, ValueAt(offset, type, order)});
  }
  for (const auto& special : SpecialFloats())
    for (ByteOrder order : kByteOrders)
      cases.push_back({special, ValueAt(0, special.size() == 4 ? ValueType::F32 : ValueType::F64, order)});
  // Text of odd and even lengths, printable characters only (Python's ascii).
  std::uniform_int_distribution<int> printable(0x21, 0x7E);
  for (size_t length : {1, 2, 3, 5, 7, 10, 11}) {
    std::vector<uint8_t> data(16);
    for (auto& b : data) b = static_cast<uint8_t>(printable(random));
    for (ByteOrder order : kByteOrders)
      cases.push_back({data, TextAt(2, length, order)});
  }

  const std::vector<std::string> python = AskPython(cases);
  ASSERT_EQ(python.size(), cases.size()) << "python3 and its struct module are needed";
  for (size_t i = 0; i < cases.size(); ++i) ExpectSame(ReadValue(cases[i].Data, cases[i].Def), python[i], cases[i].Def);
}

TEST(TypedValue, NanAndInfinitiesKeepTheirNature) {
  const ValueDef f32 = ValueAt(0, ValueType::F32);
  const ValueDef f64 = ValueAt(0, ValueType::F64);
  const std::vector<uint8_t> inf32{0x7F, 0x80, 0x00, 0x00}, minusInf32{0xFF, 0x80, 0x00, 0x00};
  const std::vector<uint8_t> nan64{0x7F, 0xF8, 0, 0, 0, 0, 0, 0}, minusInf64{0xFF, 0xF0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ValueText(ReadValue(inf32, f32)), "inf");
  EXPECT_EQ(ValueText(ReadValue(minusInf32, f32)), "-inf");
  EXPECT_TRUE(std::isinf(ReadValue(minusInf32, f32).Number()));
  EXPECT_EQ(ValueText(ReadValue(nan64, f64)), "NaN");
  EXPECT_TRUE(std::isnan(ReadValue(nan64, f64).Number()));
  EXPECT_EQ(ValueText(ReadValue(minusInf64, f64)), "-inf");
  // A scale keeps NaN and infinities what they are.
  ValueDef scaled = f32;
  scaled.Scale = 0.1;
  EXPECT_EQ(ValueText(ShownValue(inf32, scaled)), "inf");
  EXPECT_EQ(ValueText(ShownValue(std::vector<uint8_t>{0x7F, 0xC0, 0, 0}, scaled)), "NaN");
  // 0.1f's shortest text is "0.1", though as a double it is 0.100000001490116...
  EXPECT_EQ(ValueText(ReadValue(std::vector<uint8_t>{0x3D, 0xCC, 0xCC, 0xCD}, f32)), "0.1");
}

TEST(TypedValue, TextOfOddLengthsPaddingAndBytesThatAreNoLetters) {
  // "ABCDE" in three registers, the last one padded with a NUL.
  const std::vector<uint8_t> data{'A', 'B', 'C', 'D', 'E', 0};
  ValueDef def = TextAt(0, 5);
  EXPECT_EQ(ValueBytes(def), 6u);
  EXPECT_EQ(ValueText(ReadValue(data, def)), "ABCDE");
  def.TextLength = 3;
  EXPECT_EQ(ValueText(ReadValue(data, def)), "ABC") << "an odd length ends inside its last register";
  def.Order = ByteOrder::BADC;
  EXPECT_EQ(ValueText(ReadValue(data, def)), "BAD");
  def.TextLength = 5;
  EXPECT_EQ(ValueText(ReadValue(data, def)), "BADC") << "the swapped last register starts with its NUL";
  def.TextLength = 6;
  EXPECT_EQ(ValueText(ReadValue(data, def)), "BADC\\x00E") << "a NUL inside is shown, not an end";
  def.TextLength = 7;
  EXPECT_EQ(ReadValue(data, def).Is, TypedValue::Kind::Missing) << "eight bytes asked of six";
  EXPECT_EQ(ValueText(ReadValue(data, def)), "");

  EXPECT_EQ(BytesAsText(std::vector<uint8_t>{0xCF, 0xF3, 0xF1, 0xEA, 0x01, '\\', 0xA8}), "Пуск\\x01\\\\Ё");
  EXPECT_EQ(BytesAsText(std::vector<uint8_t>{'o', 'k', 0, 0}), "ok");
}

TEST(TypedValue, ShortDataIsMissingNotGarbage) {
  const std::vector<uint8_t> data{0x00, 0x01, 0x00, 0x02};
  EXPECT_EQ(ReadValue(data, ValueAt(2, ValueType::U16)).U, 2u);
  EXPECT_EQ(ReadValue(data, ValueAt(3, ValueType::U16)).Is, TypedValue::Kind::Missing);
  EXPECT_EQ(ReadValue(data, ValueAt(0, ValueType::U64)).Is, TypedValue::Kind::Missing);
  EXPECT_EQ(ReadValue(data, ValueAt(100, ValueType::U16)).Is, TypedValue::Kind::Missing);
  EXPECT_TRUE(std::isnan(ReadValue(data, ValueAt(4, ValueType::S16)).Number()));
}

TEST(TypedValue, ScaleAndOffset) {
  const std::vector<uint8_t> data{0xFF, 0x38};  // -200 as s16
  ValueDef def = ValueAt(0, ValueType::S16);
  def.Scale = 0.1;
  def.Shift = 5;
  const TypedValue shown = ShownValue(data, def);
  EXPECT_EQ(shown.Is, TypedValue::Kind::Real);
  EXPECT_DOUBLE_EQ(shown.R, -15.0);
  const std::vector<uint8_t> large{0x03, 0xEA, 0x03, 0xE9};  // 65668073
  def.Type = ValueType::S32;
  def.Shift = 0;
  EXPECT_EQ(ValueText(ShownValue(large, def)), "6566807.3") << "no trace of the binary fraction";
  // Without a scale an integer stays exact, even beyond a double's 53 bits.
  const std::vector<uint8_t> big{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ValueText(ShownValue(big, ValueAt(0, ValueType::U64))), "18446744073709551615");
  EXPECT_EQ(ValueText(ShownValue(big, ValueAt(0, ValueType::S64))), "-1");
}

TEST(TypedValue, SpecificationsOfTheCommandLine) {
  std::string error;
  auto def = ParseValueOption("4:f32:CDAB", error);
  ASSERT_TRUE(def) << error;
  EXPECT_EQ(def->Offset, 4u);
  EXPECT_EQ(def->Type, ValueType::F32);
  EXPECT_EQ(def->Order, ByteOrder::CDAB);
  EXPECT_EQ(def->Scale, 1.0);
  EXPECT_EQ(def->Name, "4:f32:CDAB");

  def = ParseValueOption("0:s16:BADC:0.1", error);
  ASSERT_TRUE(def) << error;
  EXPECT_EQ(def->Scale, 0.1);
  EXPECT_EQ(def->Name, "0:s16:BADC×0.1");
  def = ParseValueOption("0:u16:CDAB", error);
  ASSERT_TRUE(def) << error;
  EXPECT_EQ(def->Name, "0:u16") << "a register's bytes are not swapped by CDAB";
  def = ParseValueOption("2:str7", error);
  ASSERT_TRUE(def) << error;
  EXPECT_EQ(def->Type, ValueType::Text);
  EXPECT_EQ(def->TextLength, 7u);
  def = ParseValueOption("6:u64::2", error);
  ASSERT_TRUE(def) << error;
  EXPECT_EQ(def->Order, ByteOrder::ABCD);
  EXPECT_EQ(def->Scale, 2.0);

  for (const char* bad : {"", "4", "x:u16", "-2:u16", "0:u8", "0:str0", "0:str", "0:f32:ABDC",
                          "0:f32:ABCD:x", "0:f32:ABCD:1:2", "0:str4::2", "0:u16:ABCD:inf"}) {
    error.clear();
    EXPECT_FALSE(ParseValueOption(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}
