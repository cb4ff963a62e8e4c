#include "PcapFile.h"

#include <array>
#include <fstream>
#include <iterator>

namespace {
constexpr uint32_t kMagicMicro = 0xA1B2C3D4, kMagicNano = 0xA1B23C4D;
constexpr uint32_t kSnapLength = 65535;

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
}  // namespace

PcapWriter::~PcapWriter() { Close(); }

bool PcapWriter::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  std::vector<uint8_t> header;
  Put32(header, kMagicMicro);
  Put16(header, 2);  // version 2.4
  Put16(header, 4);
  Put32(header, 0);  // time zone, accuracy
  Put32(header, 0);
  Put32(header, kSnapLength);
  Put32(header, kPcapLinkTypeUser0);
  return std::fwrite(header.data(), 1, header.size(), file_) == header.size() && std::fflush(file_) == 0;
}

bool PcapWriter::Write(int64_t unixUs, const std::vector<uint8_t>& bytes) {
  if (!file_) return false;
  std::vector<uint8_t> record;
  Put32(record, static_cast<uint32_t>(unixUs / 1'000'000));
  Put32(record, static_cast<uint32_t>(unixUs % 1'000'000));
  Put32(record, static_cast<uint32_t>(bytes.size()));
  Put32(record, static_cast<uint32_t>(bytes.size()));
  record.insert(record.end(), bytes.begin(), bytes.end());
  // Flushed record by record: a capture cut short by a crash still opens.
  return std::fwrite(record.data(), 1, record.size(), file_) == record.size() && std::fflush(file_) == 0;
}

bool PcapWriter::Close() {
  if (!file_) return true;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

bool ReadPcap(const std::string& path, std::vector<PcapRecord>& records, std::string& error) {
  records.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < 24) {
    error = path + ": not a pcap file";
    return false;
  }
  bool swapped = false;
  auto get32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t byte = data[at + static_cast<size_t>(swapped ? 3 - i : i)];
      v |= byte << (8 * i);
    }
    return v;
  };
  uint32_t magic = get32(0);
  if (magic != kMagicMicro && magic != kMagicNano) {
    swapped = true;
    magic = get32(0);
  }
  if (magic != kMagicMicro && magic != kMagicNano) {
    error = path + ": not a pcap file";
    return false;
  }
  const bool nano = magic == kMagicNano;
  size_t at = 24;
  while (at + 16 <= data.size()) {
    const uint32_t seconds = get32(at), fraction = get32(at + 4), length = get32(at + 8);
    at += 16;
    if (length > data.size() - at) {
      error = path + ": a record runs past the end of the file";
      return false;
    }
    PcapRecord record;
    record.UnixUs = int64_t{seconds} * 1'000'000 + (nano ? fraction / 1000 : fraction);
    record.Bytes.assign(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
    records.push_back(std::move(record));
    at += length;
  }
  return true;
}
