// modbus-sim --tcp: the same devices and faults over TCP, one connection
// after another, with the faults of its own there (split, drop, wrongtid);
// the link against it in both framings.
#include <gtest/gtest.h>

#include "NetLinkRig.h"
#include "PeerProgram.h"

namespace {
PeerProgram Sim(const std::string& framing, std::vector<std::string> more = {}) {
  std::vector<std::string> argv = {MODBUS_SIM_PATH, "--tcp", "127.0.0.1:0", "--tcp-framing", framing,
                                   "--devices", "1-3", "--log", "--seed", "7"};
  argv.insert(argv.end(), more.begin(), more.end());
  return PeerProgram(argv);
}
std::string EndpointOf(const PeerProgram& sim) {
  return (WordOf(sim.FirstLine(), 3) == "mbap" ? "tcp://" : "rtuovertcp://") + WordOf(sim.FirstLine(), 2);
}
const std::vector<uint8_t> kReadFive = {0x00, 0x00, 0x00, 0x05};
const std::vector<int> kDevice2 = {2000, 2001, 2002, 2003, 2004};
}  // namespace

TEST(SimOverTcp, ServesConnectionsOneAfterAnotherInBothFramings) {
  for (const char* framing : {"rtu", "mbap"}) {
    PeerProgram sim = Sim(framing);
    for (int connection = 0; connection < 3; ++connection) {
      NetLinkRig rig(EndpointOf(sim));
      ASSERT_EQ(rig.Send(3, kReadFive, 1), 0) << framing;
      EXPECT_EQ(RegistersOf(rig.Answer()), kDevice2) << framing;
    }
    const std::string log = sim.MoreOutput();
    size_t connections = 0;
    for (size_t at = log.find("connection from"); at != std::string::npos; at = log.find("connection from", at + 1))
      ++connections;
    EXPECT_EQ(connections, 3u) << log;
  }
}

TEST(SimOverTcp, AnswersSplitAcrossSegmentsAreWholeAtTheLink) {
  for (const char* framing : {"rtu", "mbap"}) {
    PeerProgram sim = Sim(framing, {"--fault", "split"});
    NetLinkRig rig(EndpointOf(sim));
    for (int i = 0; i < 20; ++i) {
      ASSERT_EQ(rig.Send(3, kReadFive, 1), 0) << framing << " answer " << i;
      EXPECT_EQ(RegistersOf(rig.Answer()), kDevice2) << framing;
    }
    EXPECT_NE(sim.MoreOutput().find("segments"), std::string::npos) << "the answers were split";
  }
}

TEST(SimOverTcp, ADroppedConnectionIsALostPortAndTheNextTransactionReconnects) {
  for (const char* framing : {"rtu", "mbap"}) {
    // Half the answers break off after four bytes with a reset.
    PeerProgram sim = Sim(framing, {"--fault", "drop@0.5", "--fault", "partial:4@0.5"});
    NetLinkRig rig(EndpointOf(sim));
    int good = 0, lost = 0;
    for (int i = 0; i < 30; ++i) {
      try {
        const int32_t result = rig.Send(3, kReadFive, 1);
        if (result == 0) {
          ++good;
          EXPECT_EQ(RegistersOf(rig.Answer()), kDevice2);
        } else {
          EXPECT_EQ(result, 129) << "a short answer on a connection that stays";
        }
      } catch (const EComPort& e) {
        ++lost;
        EXPECT_EQ(e.FailureCode, CError_ReadFailed) << e.what();
      }
    }
    EXPECT_GT(good, 0) << framing;
    EXPECT_GT(lost, 0) << framing;
    EXPECT_TRUE(rig.port.Connected());
  }
}

TEST(SimOverTcp, AnAnswerWithAnotherTransactionIsABadAnswer) {
  PeerProgram sim = Sim("mbap", {"--fault", "wrongtid"});
  NetLinkRig rig(EndpointOf(sim));
  rig.link.Repeats2 = 2;
  EXPECT_EQ(rig.Send(3, kReadFive, 1), 131);
  // In RTU framing there is no transaction: the same fault changes nothing.
  PeerProgram rtu = Sim("rtu", {"--fault", "wrongtid"});
  NetLinkRig plain(EndpointOf(rtu));
  EXPECT_EQ(plain.Send(3, kReadFive, 1), 0);
}
