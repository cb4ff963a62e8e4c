// The module database write (code 69): which database goes where, and its bytes.
#pragma once

#include <cstdint>
#include <string>

#include "GridTexts.h"
#include "RequestCatalogue.h"

inline constexpr const char* kWrongDatabaseText = "не та база - запросите 68";
inline constexpr const char* kEmptyDatabaseText = "Таблица пустая - запросите 68";
inline constexpr const char* kConfirmWriteCaption = "Подтвердите запись базы данных";

enum class DatabaseWriteCheck {
  Ready,           // build and send
  NeedsConfirm,    // the grid holds another module's database: ask first
  WrongDatabase,   // kWrongDatabaseText: no good read of that module behind the grid
  EmptyTable,      // kEmptyDatabaseText
};

struct DatabaseWritePlan {
  DatabaseWriteCheck Check = DatabaseWriteCheck::Ready;
  bool ToModule = false;  // EditDat1 named a module
  uint8_t Module = 0;     // its number (low byte of EditDat1)
};

// `dat1` is EditDat1 (decimal, raises EConvertError); `dbModule` and
// `dbLength` the store's module and length of the last good read. A write
// with no good read behind it (length 0) is refused as the wrong database.
DatabaseWritePlan PlanDatabaseWrite(const std::string& dat1, uint8_t dbModule, int32_t dbLength,
                                    const CellReader& cell);

// "В памяти база модуля <n>\nзаписать ее в заданный модуль?"
std::string ConfirmWriteText(uint8_t dbModule);

// The database image from the grid: to a module, rows 1..15 with byte 0 set
// to the module; as the grid holds it, rows 1..13. Length = dbLength.
void BuildDatabaseWrite(const DatabaseWritePlan& plan, int32_t dbLength, const CellReader& cell,
                        RequestData& request);
