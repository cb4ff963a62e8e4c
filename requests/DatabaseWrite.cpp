#include "DatabaseWrite.h"

#include <algorithm>

#include "StrToInt.h"

DatabaseWritePlan PlanDatabaseWrite(const std::string& dat1, uint8_t dbModule, int32_t dbLength,
                                    const CellReader& cell) {
  DatabaseWritePlan plan;
  const int32_t target = StrToInt(dat1);
  const bool firstCellEmpty = cell(0, 1).empty();
  // Without a good read behind it the write would carry no database at all.
  const bool noDatabaseRead = dbLength <= 0;
  if (target == 0) {
    plan.Check = firstCellEmpty   ? DatabaseWriteCheck::EmptyTable
                 : noDatabaseRead ? DatabaseWriteCheck::WrongDatabase
                                  : DatabaseWriteCheck::Ready;
    return plan;
  }
  plan.ToModule = true;
  plan.Module = static_cast<uint8_t>(target & 0xFF);
  if (dbModule == 0 || firstCellEmpty || noDatabaseRead)
    plan.Check = DatabaseWriteCheck::WrongDatabase;
  else if (dbModule != plan.Module)
    plan.Check = DatabaseWriteCheck::NeedsConfirm;
  return plan;
}

std::string ConfirmWriteText(uint8_t dbModule) {
  return "В памяти база модуля " + std::to_string(dbModule) + "\nзаписать ее в заданный модуль?";
}

void BuildDatabaseWrite(const DatabaseWritePlan& plan, int32_t dbLength, const CellReader& cell,
                        RequestData& r) {
  const int rows = plan.ToModule ? 15 : 13;
  std::fill_n(r.Bytes.begin() + (plan.ToModule ? 2 : 0), plan.ToModule ? 254 : 256, 0);
  for (int row = 1; row <= rows; ++row)
    for (int column = 0; column < kGridColumns; ++column)
      r.Bytes[(row - 1) * 16 + column] = static_cast<uint8_t>(HexCellValue(cell(column, row)) & 0xFF);
  if (plan.ToModule) r.Bytes[0] = plan.Module;
  // The device's byte count from the last read; never more than the request area.
  r.Length = std::clamp<int32_t>(dbLength, 0, kRequestDataSize);
}
