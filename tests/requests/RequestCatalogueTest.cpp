// Request data of each function code, from entry texts and grid cells.
#include <gtest/gtest.h>

#include "DatabaseWrite.h"
#include "GridTexts.h"
#include "PtyPair.h"
#include "RequestCatalogue.h"
#include "StrToInt.h"

namespace {
struct Grid {
  GridTexts cells{};
  CellReader Reader() const {
    return [this](int c, int r) { return cells[static_cast<size_t>(r - 1)][static_cast<size_t>(c)]; };
  }
  // The fill pattern: byte n shows n in decimal (as "Заполнить таблицу" leaves it).
  void FillDecimal() {
    for (int n = 0; n < 256; ++n) cells[static_cast<size_t>(n / 16)][static_cast<size_t>(n % 16)] = std::to_string(n);
  }
};

std::vector<uint8_t> Sent(const RequestData& r) {
  return {r.Bytes.begin(), r.Bytes.begin() + r.Length};
}

std::vector<uint8_t> Build(uint8_t code, const char* dat1, const char* dat2, const Grid& grid = {}) {
  RequestData r;
  EXPECT_EQ(BuildRequest(code, dat1, dat2, grid.Reader(), r), RequestRefusal::None);
  return Sent(r);
}
}  // namespace

TEST(RequestCatalogue, ReadingCodesTakeDecimalEntriesBigEndian) {
  EXPECT_EQ(Hex(Build(3, "0", "10")), "00 00 00 0A");
  EXPECT_EQ(Hex(Build(1, "26", "1")), "00 1A 00 01");
  EXPECT_EQ(Hex(Build(2, "70000", "5")), "11 70 00 05") << "only the address's bits 15..0 go out";
  EXPECT_EQ(Hex(Build(1, "-1", "2040")), "FF FF 07 F8");
  EXPECT_EQ(Hex(Build(3, "0", "127")), "00 00 00 7F");
  EXPECT_EQ(Hex(Build(4, "0", "0")), "00 00 00 00") << "a device may be asked for nothing";

  // A quantity whose answer cannot count its bytes in one byte is an entry error.
  RequestData r;
  for (const auto& [code, quantity] : std::vector<std::pair<uint8_t, const char*>>{
           {1, "2041"}, {2, "65536"}, {1, "-1"}, {3, "128"}, {4, "65535"}, {3, "-1"}, {4, "70000"}})
    EXPECT_EQ(BuildRequest(code, "0", quantity, Grid().Reader(), r), RequestRefusal::QuantityOutOfRange)
        << int(code) << " " << quantity;
  EXPECT_EQ(Hex(Build(4, "0x10", "2")), "00 10 00 02");
  EXPECT_THROW(Build(3, "1A", "1"), EConvertError);
}

TEST(RequestCatalogue, SingleWritesReadTheAddressAsHex) {
  EXPECT_EQ(Hex(Build(5, "1A", "1")), "00 1A FF 00");
  EXPECT_EQ(Hex(Build(5, "1A", "0")), "00 1A 00 00");
  EXPECT_EQ(Hex(Build(5, "1A", "2")), "00 1A 00 00") << "anything but 1 is off";
  EXPECT_EQ(Hex(Build(6, "FF", "1000")), "00 FF 03 E8");
}

TEST(RequestCatalogue, DeviceCodes) {
  EXPECT_EQ(Hex(Build(66, "258", "7")), "00 02 00 07");
  EXPECT_EQ(Hex(Build(67, "5", "9")), "00 05");
  EXPECT_EQ(Hex(Build(68, "3", "0")), "03");
  EXPECT_EQ(Build(68, "0", "0").size(), 0u);
  EXPECT_EQ(Hex(Build(70, "9", "9")), "00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(Build(71, "1", "300")), "01 2C");
  for (uint8_t code : {14, 17, 0, 16, 65, 44}) EXPECT_TRUE(Build(code, "x", "y").empty()) << int(code);
}

TEST(RequestCatalogue, WriteCoilsFromTheFirstRow) {
  Grid grid;
  grid.cells[0] = {"A5", "3C", "FF", "", "", "", "", "", "", "", "", "", "", "", "", "7"};
  EXPECT_EQ(Hex(Build(15, "16", "9", grid)), "00 10 00 09 02 A5 3C");
  EXPECT_EQ(Build(15, "0", "1", grid).size(), 6u);
  EXPECT_EQ(Hex(Build(15, "0", "128", grid)).substr(12), "10 A5 3C FF 00 00 00 00 00 00 00 00 00 00 00 00 07");
  // More coils than a row holds: the bytes past column 15 go out as 0.
  const auto many = Build(15, "0", "200", grid);
  ASSERT_EQ(many.size(), 25u + 5);
  EXPECT_EQ(many[5 + 15], 0x07);
  EXPECT_EQ(many[5 + 16], 0x00);

  RequestData r;
  EXPECT_EQ(BuildRequest(15, "0", "0", grid.Reader(), r), RequestRefusal::QuantityOutOfRange);
  EXPECT_EQ(BuildRequest(15, "0", "65536", grid.Reader(), r), RequestRefusal::QuantityOutOfRange);
  // The byte count must count the coils: 2040 is 255 bytes, 2041 would be 0.
  EXPECT_EQ(BuildRequest(15, "0", "2040", grid.Reader(), r), RequestRefusal::None);
  EXPECT_EQ(r.Bytes[4], 255);
  for (const char* quantity : {"2041", "2049", "-1", "65535"})
    EXPECT_EQ(BuildRequest(15, "0", quantity, grid.Reader(), r), RequestRefusal::QuantityOutOfRange)
        << quantity;
  grid.cells[0][0] = "";
  EXPECT_EQ(BuildRequest(15, "0", "9", grid.Reader(), r), RequestRefusal::TableEmpty);
}

TEST(RequestCatalogue, BlockWriteSendsTheGridAsHexAndZerosBeyond) {
  Grid grid;
  grid.FillDecimal();
  RequestData r;
  ASSERT_EQ(BuildRequest(100, "300", "0", grid.Reader(), r), RequestRefusal::None);
  ASSERT_EQ(r.Length, 302);
  EXPECT_EQ(r.Bytes[0], 0x01);
  EXPECT_EQ(r.Bytes[1], 0x2C);
  EXPECT_EQ(r.Bytes[2 + 16], 0x16) << "\"16\" is read as hex";
  EXPECT_EQ(r.Bytes[2 + 255], 0x55) << "\"255\" is 0x255: its low byte";
  for (int i = 258; i < 302; ++i) EXPECT_EQ(r.Bytes[static_cast<size_t>(i)], 0) << i;

  EXPECT_EQ(BuildRequest(100, "2048", "0", grid.Reader(), r), RequestRefusal::None);
  EXPECT_EQ(r.Length, 2050);
  EXPECT_EQ(BuildRequest(100, "2049", "0", grid.Reader(), r), RequestRefusal::CountOutOfRange);
  EXPECT_EQ(BuildRequest(100, "0", "0", grid.Reader(), r), RequestRefusal::CountOutOfRange);
  grid.cells[0][0] = "";
  EXPECT_EQ(BuildRequest(100, "1", "0", grid.Reader(), r), RequestRefusal::TableEmpty);
}

TEST(RequestCatalogue, HexCells) {
  EXPECT_EQ(HexCellValue("FF"), 0xFFu);
  EXPECT_EQ(HexCellValue("  1a"), 0x1Au);
  EXPECT_EQ(HexCellValue("12G4"), 0x12u);
  EXPECT_EQ(HexCellValue(""), 0u);
  EXPECT_EQ(HexCellValue("zz"), 0u);
  EXPECT_EQ(HexCellValue("123456789"), 0xFFFFFFFFu);
  EXPECT_EQ(Hex2(0x0A), "0A");
}

TEST(DatabaseWrite, PlansAndImages) {
  Grid grid;
  for (int n = 0; n < 256; ++n) grid.cells[static_cast<size_t>(n / 16)][static_cast<size_t>(n % 16)] = Hex2(static_cast<uint32_t>(n));

  EXPECT_EQ(PlanDatabaseWrite("3", 3, 56, grid.Reader()).Check, DatabaseWriteCheck::Ready);
  const auto other = PlanDatabaseWrite("5", 3, 56, grid.Reader());
  EXPECT_EQ(other.Check, DatabaseWriteCheck::NeedsConfirm);
  EXPECT_EQ(PlanDatabaseWrite("3", 0, 56, grid.Reader()).Check, DatabaseWriteCheck::WrongDatabase);
  EXPECT_EQ(ConfirmWriteText(3), "В памяти база модуля 3\nзаписать ее в заданный модуль?");

  RequestData r;
  BuildDatabaseWrite(other, 250, grid.Reader(), r);
  EXPECT_EQ(r.Length, 250);
  EXPECT_EQ(r.Bytes[0], 5) << "the database carries the target module";
  EXPECT_EQ(r.Bytes[239], 239);
  EXPECT_EQ(r.Bytes[240], 0) << "row 16 is never sent";

  const auto asHeld = PlanDatabaseWrite("0", 0, 240, grid.Reader());
  EXPECT_EQ(asHeld.Check, DatabaseWriteCheck::Ready);
  RequestData held;
  BuildDatabaseWrite(asHeld, 240, grid.Reader(), held);
  EXPECT_EQ(held.Bytes[0], 0);
  EXPECT_EQ(held.Bytes[207], 207);
  EXPECT_EQ(held.Bytes[208], 0) << "rows 1..13 only";

  grid.cells[0][0] = "";
  EXPECT_EQ(PlanDatabaseWrite("0", 3, 56, grid.Reader()).Check, DatabaseWriteCheck::EmptyTable);
  EXPECT_EQ(PlanDatabaseWrite("3", 3, 56, grid.Reader()).Check, DatabaseWriteCheck::WrongDatabase);
}

TEST(DatabaseWrite, NoGoodReadNoWrite) {
  // Length 0: no good 68 since the window started or since the last failed
  // one. A filled grid, with or without its module, is not written.
  Grid grid;
  for (auto& row : grid.cells) row.fill("11");
  EXPECT_EQ(PlanDatabaseWrite("0", 0, 0, grid.Reader()).Check, DatabaseWriteCheck::WrongDatabase);
  EXPECT_EQ(PlanDatabaseWrite("3", 3, 0, grid.Reader()).Check, DatabaseWriteCheck::WrongDatabase);
  EXPECT_EQ(PlanDatabaseWrite("5", 3, 0, grid.Reader()).Check, DatabaseWriteCheck::WrongDatabase)
      << "refused before the confirmation is asked";
  grid.cells[0][0] = "";
  EXPECT_EQ(PlanDatabaseWrite("0", 0, 0, grid.Reader()).Check, DatabaseWriteCheck::EmptyTable);
}
