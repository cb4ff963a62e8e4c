// Capture files Wireshark opens: classic pcap, one record per frame heard,
// time-stamped with the time its first byte began. The link type is
// LINKTYPE_USER0 (147), which Wireshark hands to its Modbus RTU dissector
// when its table of user link types maps it to "mbrtu" (see README.md).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline constexpr uint32_t kPcapLinkTypeUser0 = 147;

class PcapWriter {
public:
  PcapWriter() = default;
  ~PcapWriter();
  PcapWriter(const PcapWriter&) = delete;
  PcapWriter& operator=(const PcapWriter&) = delete;

  // Creates (or replaces) the file and writes its header; false when it cannot.
  bool Open(const std::string& path);
  // One record: microseconds since the epoch, the frame's bytes.
  bool Write(int64_t unixUs, const std::vector<uint8_t>& bytes);
  bool Close();
  bool Good() const { return file_ != nullptr; }

private:
  std::FILE* file_ = nullptr;
};

struct PcapRecord {
  int64_t UnixUs = 0;
  std::vector<uint8_t> Bytes;
};

// Reads a pcap file of any byte order, micro- or nanosecond time stamps;
// false with a reason when it is none.
bool ReadPcap(const std::string& path, std::vector<PcapRecord>& records, std::string& error);
