// How a probe's answer is classed.
#include <gtest/gtest.h>

#include "Crc16.h"
#include "ProbeAnswer.h"

TEST(ProbeAnswer, DevicesNoiseAndSilence) {
  const ProbeRequest probe;
  EXPECT_EQ(ProbeFrame(1, probe), (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));

  EXPECT_EQ(ClassifyAnswer(1, probe, {0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86}).Kind, ProbeKind::Answer);
  // Trailing bytes after a whole answer do not spoil it.
  EXPECT_EQ(ClassifyAnswer(1, probe, {0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86, 0x00}).Kind, ProbeKind::Answer);
  const ProbeVerdict refused = ClassifyAnswer(1, probe, {0x01, 0x83, 0x02, 0xC0, 0xF1});
  EXPECT_EQ(refused.Kind, ProbeKind::Exception);
  EXPECT_EQ(refused.ExceptionCode, 2);

  EXPECT_EQ(ClassifyAnswer(1, probe, {}).Kind, ProbeKind::Nothing);
  EXPECT_EQ(ClassifyAnswer(1, probe, {0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x87}).Kind, ProbeKind::Noise) << "bad CRC";
  EXPECT_EQ(ClassifyAnswer(1, probe, {0x01, 0x03, 0x02, 0x00}).Kind, ProbeKind::Noise) << "cut short";
  EXPECT_EQ(ClassifyAnswer(1, probe, {0xFF}).Kind, ProbeKind::Noise);
  // A good answer, but from device 2: a collision or an address mix-up, not device 1.
  std::vector<uint8_t> fromTwo{0x02, 0x03, 0x02, 0x00, 0x07};
  const uint16_t crc = Crc16(5, fromTwo.data());
  fromTwo.push_back(static_cast<uint8_t>(crc & 0xFF));
  fromTwo.push_back(static_cast<uint8_t>(crc >> 8));
  EXPECT_EQ(ClassifyAnswer(2, probe, fromTwo).Kind, ProbeKind::Answer);
  EXPECT_EQ(ClassifyAnswer(1, probe, fromTwo).Kind, ProbeKind::Noise);
}
