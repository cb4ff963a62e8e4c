#include "FrameText.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "ComPortClass.h"
#include "Crc16.h"
#include "CsvRecord.h"
#include "FunctionCodes.h"
#include "ResultCodes.h"
#include "LocalTime.h"

namespace {
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// Modbus TCP: the MBAP header, then the unit and the PDU.
constexpr size_t kMbapPdu = 7;

std::string CrcWords(const MonitorFrame& frame) {
  if (frame.Direction == FrameDirection::Discarded || frame.Direction == FrameDirection::Unframed) return "—";
  if (frame.Transport == FrameTransport::ModbusTcp) return "нет, MBAP";
  if (frame.Bytes.size() < 4) return "—";
  // Cut short, an answer has no CRC of its own to judge.
  if (frame.Direction == FrameDirection::Rx && frame.AttemptResult == ResultIncomplete) return "—";
  return EndsWithItsCrc(static_cast<int32_t>(frame.Bytes.size()), frame.Bytes.data()) ? "верна" : "неверна";
}

std::string FunctionWords(const MonitorFrame& frame) {
  const size_t at = frame.Transport == FrameTransport::ModbusTcp ? kMbapPdu : 1;
  if (frame.Bytes.size() < at + 1) return "";
  const uint8_t code = frame.Bytes[at];
  if (frame.Direction == FrameDirection::Rx && code == ExceptionFunction(frame.Code) && frame.Bytes.size() >= at + 2)
    return std::to_string(frame.Code) + ", исключение " + std::to_string(frame.Bytes[at + 1]);
  return std::to_string(code);
}

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += "; ";
    text += part;
  }
  return text;
}
}  // namespace

const char* const kNetworkTimesNote = "по сети: время — круговая задержка через сеть, а не время на линии";

std::string MsText(int64_t us) {
  char text[32];
  const int64_t whole = us / 1000, part = (us < 0 ? -us : us) % 1000;
  std::snprintf(text, sizeof text, "%s%lld,%03lld", us < 0 && whole == 0 ? "-" : "",
                static_cast<long long>(whole), static_cast<long long>(part));
  return text;
}

bool FrameFailed(const MonitorFrame& frame) {
  return (frame.AttemptResult && *frame.AttemptResult != 0) ||
         (frame.TransactionResult && *frame.TransactionResult != 0);
}

bool FrameFlagged(const MonitorFrame& frame) { return frame.GapTooLong || frame.BeforeRequest || frame.TooSoon; }

ClockAnchor ClockAnchor::Now() {
  using namespace std::chrono;
  return {duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count(),
          duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()};
}

std::string ClockAnchor::TimeOfDay(int64_t monotonicUs) const {
  const int64_t us = SystemUs + (monotonicUs - MonotonicUs);
  const std::time_t seconds = static_cast<std::time_t>(us / 1'000'000);
  const std::tm local = LocalTime(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(us / 1000 % 1000));
  return text;
}

std::string ClockAnchor::DateAndTime(int64_t monotonicUs) const {
  const int64_t us = SystemUs + (monotonicUs - MonotonicUs);
  const std::tm local = LocalTime(static_cast<std::time_t>(us / 1'000'000));
  char date[40];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d ", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return date + TimeOfDay(monotonicUs);
}

const FrameLine& FrameColumnTitles() {
  static const FrameLine titles = {"Время",   "Δt, мс",    "",        "Байты",     "CRC",
                                   "Функция", "Ответ через, мс", "Пауза в ответе, мс",
                                   "Попытка", "Этап",      "Результат", "Примечание"};
  return titles;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

std::string ResultWords(FrameDirection direction, uint8_t code, int32_t result) {
  switch (result) {
    case ResultOk:
      if (GetsNoAnswer(code)) return "отправлен, ответа нет по протоколу";
      return direction == FrameDirection::Rx ? "ответ принят" : "успешно";
    case ResultReceiveError: return "чужой ответ (не тот код функции или число байт)";
    case ResultIncomplete: return "ответ неполный";
    case ResultNoAnswer: return "нет ответа";
    case ResultCrcMismatch: return "ошибка контрольной суммы";
    default: return "исключение " + std::to_string(result);
  }
}

FrameLine DescribeFrame(const MonitorFrame& frame, const MonitorFrame* previous,
                        const ClockAnchor& anchor) {
  FrameLine line;
  line[ColTime] = anchor.TimeOfDay(frame.Us);
  if (previous) line[ColDelta] = MsText(frame.Us - previous->Us);
  switch (frame.Direction) {
    case FrameDirection::Tx: line[ColDirection] = "→"; break;
    case FrameDirection::Rx: line[ColDirection] = "←"; break;
    case FrameDirection::Discarded: line[ColDirection] = "×"; break;
    case FrameDirection::Unframed: line[ColDirection] = "?"; break;
  }
  line[ColBytes] = HexText(frame.Bytes);
  line[ColCrc] = CrcWords(frame);
  line[ColFunction] = FunctionWords(frame);
  if (frame.LatencyUs) line[ColLatency] = (frame.LatencyAtMost ? "≤ " : "") + MsText(*frame.LatencyUs);
  if (frame.Direction == FrameDirection::Rx && frame.Chunks.size() > 1) line[ColGap] = MsText(frame.LargestGapUs);
  if (frame.Transaction != 0 && frame.Attempt > 0) {
    line[ColAttempt] = std::to_string(frame.Attempt);
    line[ColStage] = std::to_string(frame.Stage);
  }

  std::vector<std::string> result;
  if (frame.AttemptResult) result.push_back(ResultWords(frame.Direction, frame.Code, *frame.AttemptResult));
  if (frame.TransactionResult && frame.Attempt > 1)
    result.push_back("итог " + std::to_string(*frame.TransactionResult));
  line[ColResult] = Join(result);

  std::vector<std::string> notes;
  if (!frame.Note.empty()) notes.push_back(frame.Note);
  if (frame.Direction == FrameDirection::Discarded)
    notes.push_back("сброшено непрочитанных байт: " + std::to_string(frame.DiscardedCount));
  if (frame.BeforeRequest) notes.push_back("ответ начался до запроса: запоздалый ответ на прежний");
  if (frame.GapTooLong) notes.push_back("пауза внутри ответа больше 1,5 символа");
  if (frame.Direction == FrameDirection::Rx && !frame.Chunks.empty() && frame.Chunks.front().Waiting)
    notes.push_back("байты ждали в очереди: пришли раньше");
  if (frame.Direction == FrameDirection::Rx && frame.Transport != FrameTransport::Line)
    notes.push_back(kNetworkTimesNote);
  line[ColNotes] = Join(notes);
  return line;
}

std::string TextLine(const FrameLine& line) {
  std::string text;
  for (const std::string& column : line) {
    if (column.empty()) continue;
    if (!text.empty()) text += "  ";
    text += column;
  }
  return text;
}

std::string CsvLine(const FrameLine& line) { return CsvRecord({line.begin(), line.end()}); }

std::string CsvDocument(const std::vector<FrameLine>& lines) {
  std::string text = kUtf8Bom + CsvLine(FrameColumnTitles());
  for (const FrameLine& line : lines) text += CsvLine(line);
  return text;
}

std::string TextDocument(const std::vector<FrameLine>& lines) {
  const auto tabbed = [](const FrameLine& line) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) text += (i ? "\t" : "") + line[i];
    return text + '\n';
  };
  std::string text = tabbed(FrameColumnTitles());
  for (const FrameLine& line : lines) text += tabbed(line);
  return text;
}

bool ParseCsv(const std::string& text, std::vector<FrameLine>& lines) {
  lines.clear();
  const size_t start = text.rfind(kUtf8Bom, 0) == 0 ? sizeof kUtf8Bom - 1 : 0;
  FrameLine line;
  size_t column = 0;
  std::string field;
  bool quoted = false, fieldStarted = false;
  auto endField = [&]() -> bool {
    if (column >= line.size()) return false;
    line[column++] = std::move(field);
    field.clear();
    fieldStarted = false;
    return true;
  };
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"' && !fieldStarted) {
      quoted = fieldStarted = true;
    } else if (c == ';') {
      if (!endField()) return false;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (!endField() || column != line.size()) return false;
      lines.push_back(line);
      line = FrameLine{};
      column = 0;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  return !quoted && column == 0 && field.empty();
}
