// Request building, answer display and the device data store from arbitrary
// entry texts, grid cells and answers, and then one click of "Пуск" on a
// headless window over a device that answers whatever the input says. An
// entry that is no number may raise EConvertError, and a failing port
// EComPort, as documented; anything else that leaves, a sanitizer report, or a request outside 0..3000 bytes
// is a finding.
//
// Input: EditZapr, EditDat1, EditDat2 (a length byte, then the text), grid
// cells (a count, then column, row, text), code, module, database length
// (int16), answer (uint16 size mod 300, bytes), result selector, device,
// polling flag, two repeat counts, then the device's moves (ScriptedLine.h);
// after a click, an odd byte asks for another with new entry texts (up to three).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "AnswerDisplay.h"
#include "ComPort.h"
#include "ComPortClass.h"
#include "Crc16.h"
#include "DatabaseWrite.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzOperator.h"
#include "HeadlessWindow.h"
#include "RequestCatalogue.h"
#include "RequestDispatcher.h"
#include "ScriptedLine.h"
#include "ServClass.h"
#include "SteppingClock.h"
#include "StrToInt.h"

namespace {
constexpr int32_t kResults[] = {0, 1, 2, 6, 128, 129, 130, 131, 256};

bool IsHex2(const std::string& text) {
  return text.size() == 2 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F');
         });
}
bool IsByteDecimal(const std::string& text) {
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  return std::stoi(text) <= 255 && (text.size() == 1 || text[0] != '0');
}

void CheckRequest(uint8_t code, RequestRefusal refusal, const RequestData& r) {
  FUZZ_REQUIRE(r.Length >= 0 && r.Length <= kRequestDataSize, "request length outside 0..3000");
  if (refusal != RequestRefusal::None) {
    FUZZ_REQUIRE((code >= 1 && code <= 4) || code == 15 || code == 100,
                 "a refusal for a code without checks");
    return;
  }
  const int quantity = r.Bytes[2] << 8 | r.Bytes[3];
  switch (code) {
    case 1: case 2:
      FUZZ_REQUIRE(r.Length == 4 && quantity <= 2040, "a bit read whose answer cannot count its bytes");
      break;
    case 3: case 4:
      FUZZ_REQUIRE(r.Length == 4 && quantity <= 127, "a register read whose answer cannot count its bytes");
      break;
    case 5: case 6: case 66:
      FUZZ_REQUIRE(r.Length == 4, "length of a four-byte request");
      break;
    case 67: case 71:
      FUZZ_REQUIRE(r.Length == 2, "length of a two-byte request");
      break;
    case 68:
      FUZZ_REQUIRE(r.Length == 1 || (r.Length == 0 && r.Bytes[0] == 0), "length of a database read");
      break;
    case 70:
      FUZZ_REQUIRE(r.Length == 7, "length of the clock request");
      break;
    case 15:
      FUZZ_REQUIRE(r.Length == r.Bytes[4] + 5 && r.Bytes[4] >= 1, "length of a coil write");
      FUZZ_REQUIRE(quantity >= 1 && r.Bytes[4] == (quantity + 7) / 8, "a byte count that does not count the coils");
      break;
    case 100: {
      const int count = r.Bytes[0] << 8 | r.Bytes[1];
      FUZZ_REQUIRE(count >= 1 && count <= 2048 && r.Length == count + 2, "length of a block write");
      break;
    }
    default:
      FUZZ_REQUIRE(r.Length == 0, "data for a code without data");
  }
}

void CheckLayout(uint8_t code, int32_t result, std::span<const uint8_t> answer, const AnswerLayout& layout) {
  for (size_t n = 0; n < layout.Fields.size(); ++n) {
    const uint8_t byte = n < answer.size() && n < kShownAnswerBytes ? answer[n] : 0;
    if (n < 3)
      FUZZ_REQUIRE(layout.Fields[n] == std::to_string(byte), "a decimal field not showing its byte");
    else
      FUZZ_REQUIRE(layout.Fields[n] == Hex2(byte), "a hex field not showing its byte");
  }
  const bool reading = code == 2 || code == 3 || code == 4 || code == 66 || code == 67 || code == 68 || code == 71;
  FUZZ_REQUIRE(layout.Grid.has_value() == (reading && result != 130), "grid shown for the wrong answer");
  if (!layout.Grid) return;
  for (const auto& row : *layout.Grid)
    for (const auto& cell : row)
      FUZZ_REQUIRE(cell.empty() || (code == 67 ? IsByteDecimal(cell) : IsHex2(cell)), "a grid cell that is no byte");
}

// Every frame of the click: whole, with a good CRC, for the chosen device.
void CheckWrites(const ScriptedLine& line, int32_t deviceIndex) {
  for (const auto& frame : line.Writes) {
    FUZZ_REQUIRE(frame.size() >= 4 && frame.size() <= static_cast<size_t>(kFrameBufferSize), "frame size");
    const uint16_t crc = Crc16(static_cast<int32_t>(frame.size() - 2), frame.data());
    FUZZ_REQUIRE(frame[frame.size() - 2] == (crc & 0xFF) && frame.back() == (crc >> 8), "frame CRC");
    const bool clock = frame[1] == 70 && frame.size() > 4;
    FUZZ_REQUIRE(frame[0] == (clock ? 0 : deviceIndex + 1), "frame address");
    FUZZ_REQUIRE(std::find(AllowedCodes.begin(), AllowedCodes.end(), frame[1]) != AllowedCodes.end(),
                 "a refused code reached the line");
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzInput input(bytes, size);
  HeadlessWindow window;
  window.Zapr.SetText(input.Text(8));
  window.Dat1.SetText(input.Text(12));
  window.Dat2.SetText(input.Text(12));
  for (int cells = input.Byte() % 24; cells > 0; --cells) {
    const int column = input.Byte() % kGridColumns;
    const int row = input.Byte() % kGridDataRows + 1;
    window.SetCell(column, row, input.Text(10));
  }
  const uint8_t code = input.Byte();
  const uint8_t dbModule = input.Byte();
  const int32_t dbLength = static_cast<int16_t>(input.U16());
  const std::vector<uint8_t> answer = input.Bytes(input.U16() % 300);
  const uint8_t resultPick = input.Byte();
  const int32_t result = resultPick < std::size(kResults) ? kResults[resultPick] : resultPick;
  const int32_t deviceIndex = input.Byte() % 31;
  const bool polling = input.Byte() & 1;
  const int32_t repeats1 = input.Byte() % 4 + 1;
  const int32_t repeats2 = input.Byte() % 4 + 1;

  const CellReader cell = [&window](int c, int r) { return window.Cell(c, r); };
  const std::string dat1 = window.Dat1.Text(), dat2 = window.Dat2.Text();

  // Request building, alone.
  try {
    RequestData request;
    CheckRequest(code, BuildRequest(code, dat1, dat2, cell, request), request);
  } catch (const EConvertError&) {
  }
  try {
    const DatabaseWritePlan plan = PlanDatabaseWrite(dat1, dbModule, dbLength, cell);
    RequestData request;
    BuildDatabaseWrite(plan, dbLength, cell, request);
    FUZZ_REQUIRE(request.Length == std::clamp<int32_t>(dbLength, 0, kRequestDataSize), "database write length");
    FUZZ_REQUIRE(!plan.ToModule || request.Bytes[0] == plan.Module, "database write without its module");
  } catch (const EConvertError&) {
  }

  // Answer display and the store, alone.
  FuzzOperator boxes(input);
  TServClass store(boxes, [] {});
  store.UpdateFromAnswer(code, answer);
  FUZZ_REQUIRE(std::all_of(store.InputBits.begin(), store.InputBits.end(), [](uint8_t b) { return b <= 1; }),
               "an input bit that is neither 0 nor 1");
  CheckLayout(code, result, answer, LayOutAnswer(code, result, answer, store));

  // Clicks over the fake line, on one window, store and link, so that a
  // click meets what the last one left (a database read before its write).
  ScriptedLine line(input);
  TComPort port;
  port.SetEvents(TComEvents());  // no event thread
  port.Open();
  TComPortClass link(port, boxes);
  int readings = 0;
  link.Clock = SteppingClock{&readings};
  link.SetTxDelay(0);
  link.SetRxDelay(0);
  link.SetRepeats1(repeats1);
  link.SetRepeats2(repeats2);
  store.DeviceIndex = deviceIndex;
  TRequestDispatcher dispatcher(link, store, window, boxes);
  if (polling) dispatcher.Button3Click();
  for (int click = 0; click < 3; ++click) {
    if (click > 0) {
      // An odd byte asks for another click, with new entries.
      if (!(input.Byte() & 1)) break;
      window.Zapr.SetText(input.Text(8));
      window.Dat1.SetText(input.Text(12));
      window.Dat2.SetText(input.Text(12));
    }
    line.ClearRecords();
    try {
      dispatcher.Button1Click();
    } catch (const EConvertError&) {
    } catch (const EComPort&) {
      // The device failed a read or write (ScriptedLine): it goes on to the error display.
    }
    if (std::getenv("FUZZ_VERBOSE"))
      std::fprintf(stderr, "click '%s' '%s' '%s': %s, result %d, %zu writes, fields %s %s %s\n",
                   window.Zapr.Text().c_str(), window.Dat1.Text().c_str(), window.Dat2.Text().c_str(),
                   dispatcher.LastPassSent() ? "sent" : "not sent", dispatcher.LastResult(), line.Writes.size(),
                   window.Fields[0].c_str(), window.Fields[1].c_str(), window.Fields[2].c_str());
    FUZZ_REQUIRE(dispatcher.LastRequest().Length >= 0 && dispatcher.LastRequest().Length <= kRequestDataSize,
                 "request length outside 0..3000");
    CheckWrites(line, deviceIndex);
    if (dispatcher.LastPassSent() && dispatcher.LastResult() != 0)
      FUZZ_REQUIRE(!window.PollTimerEnabled(), "polling goes on after a failed exchange");
    for (const auto& field : window.Fields)
      FUZZ_REQUIRE(field == "0" || IsByteDecimal(field) || IsHex2(field), "a display field that is no byte");
  }
  return 0;
}
