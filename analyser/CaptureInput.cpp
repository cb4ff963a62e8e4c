#include "CaptureInput.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "FrameText.h"
#include "PcapFile.h"

namespace {
// "HH:MM:SS.mmm" → microseconds since midnight; -1 when it is none.
int64_t TimeOfDayUs(const std::string& text) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
  return ((int64_t{h} * 60 + m) * 60 + s) * 1'000'000 + int64_t{ms} * 1000;
}

bool HexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::istringstream in(text);
  for (std::string pair; in >> pair;) {
    if (pair.size() != 2 || pair.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return false;
    bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  return true;
}
}  // namespace

bool ReadCapture(const std::string& path, const LineFormat& format, std::vector<CapturedChunk>& chunks,
                 std::string& error) {
  chunks.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int64_t character = CharacterTime(format).count() / 1000;
  auto wire = [&](size_t bytes) { return static_cast<int64_t>(bytes) * character; };
  if (text.size() >= 4 && (text.compare(0, 4, "\xD4\xC3\xB2\xA1") == 0 || text.compare(0, 4, "\xA1\xB2\xC3\xD4") == 0 ||
                           text.compare(0, 4, "\x4D\x3C\xB2\xA1") == 0 || text.compare(0, 4, "\xA1\xB2\x3C\x4D") == 0)) {
    std::vector<PcapRecord> records;
    if (!ReadPcap(path, records, error)) return false;
    for (PcapRecord& record : records) {
      const int64_t arrived = record.UnixUs + wire(record.Bytes.size());
      chunks.push_back({arrived, std::move(record.Bytes)});
    }
    return true;
  }
  std::vector<FrameLine> lines;
  if (!ParseCsv(text, lines) || lines.empty()) {
    error = path + ": neither a pcap file nor the monitor's CSV";
    return false;
  }
  for (size_t i = 1; i < lines.size(); ++i) {  // the first line holds the titles
    const FrameLine& line = lines[i];
    if (line[ColDirection] == "×") continue;  // thrown away by a purge: no bytes
    const int64_t start = TimeOfDayUs(line[ColTime]);
    CapturedChunk chunk;
    if (start < 0 || !HexBytes(line[ColBytes], chunk.Bytes)) {
      error = path + ": line " + std::to_string(i + 1) + " is not the monitor's";
      return false;
    }
    if (chunk.Bytes.empty()) continue;
    chunk.ArrivedUs = start + wire(chunk.Bytes.size());
    chunks.push_back(std::move(chunk));
  }
  return true;
}
