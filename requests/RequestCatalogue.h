// The request data of each function code, built from the entry texts and the
// grid. Conversions of entry texts raise EConvertError (StrToInt.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "GridTexts.h"

inline constexpr int32_t kRequestDataSize = 3000;

struct RequestData {
  std::array<uint8_t, kRequestDataSize> Bytes{};
  int32_t Length = 0;
};

// Why a request was not built; each stops the click before anything is sent.
enum class RequestRefusal {
  None,
  QuantityOutOfRange,  // codes 1-4 and 15: a quantity the frame cannot count; the input error on EditDat2
  CountOutOfRange,  // code 100: the input error on EditDat1
  TableEmpty,       // codes 15, 100: "Занесите данные в таблицу"
};

inline constexpr const char* kTableEmptyText = "Занесите данные в таблицу";

// Every code but 69 (see DatabaseWrite.h). Unknown codes get no data.
RequestRefusal BuildRequest(uint8_t code, const std::string& dat1, const std::string& dat2,
                            const CellReader& cell, RequestData& request);

// A 16-bit value high byte first; higher bits are dropped.
void PutBigEndian16(uint8_t* at, int32_t value);
