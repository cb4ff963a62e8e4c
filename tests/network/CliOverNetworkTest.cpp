// modbus-cli --port rtuovertcp://… and tcp://… in its modes: one
// transaction (its JSON against the server's own values), entry mode, a
// batch, --count, --monitor and --scan over addresses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "PeerProgram.h"
#include "RunProgram.h"

namespace {
using nlohmann::json;

std::string Cli(const std::string& port, std::vector<std::string> args, int expectedExit = 0,
                const std::optional<std::string>& input = std::nullopt) {
  args.insert(args.begin(), {"--port", port});
  const ProgramRun run = RunProgram(MODBUS_CLI_PATH, args, std::chrono::seconds(30), input);
  EXPECT_EQ(run.ExitCode, expectedExit) << run.Err << run.Out;
  return run.Out;
}

struct Peer {
  PeerProgram program;
  std::string endpoint;
  Peer(const char* framer, int unit, const std::string& holding)
      : program({"/usr/bin/python3", PYMODBUS_SERVER, "--framer", framer, "--unit", std::to_string(unit),
                 "--holding", holding}),
        endpoint((std::string(framer) == "rtu" ? "rtuovertcp://" : "tcp://") + WordOf(program.FirstLine(), 1)) {}
};
}  // namespace

TEST(CliOverNetwork, OneTransactionReadsTheServersOwnValues) {
  for (const char* framer : {"rtu", "socket"}) {
    Peer peer(framer, 9, "40=4660,22136,39612,48879");
    const json out = json::parse(Cli(peer.endpoint, {"--device", "9", "--request", "3", "--data", "00 28 00 04", "--json"}));
    EXPECT_EQ(out["result"], 0) << framer;
    EXPECT_EQ(out["answer"].get<std::string>().substr(0, 32), "09 03 08 12 34 56 78 9A BC BE EF") << framer;
  }
}

TEST(CliOverNetwork, EntryModeBatchAndCountRunOverModbusTcp) {
  Peer peer("socket", 1, "0=100,101,102,103,104,105");
  // Entry mode: request 3 from register 2, three registers.
  json out = json::parse(Cli(peer.endpoint, {"--request", "3", "--dat1", "2", "--dat2", "3", "--json"}));
  EXPECT_EQ(out["result"], 0);
  EXPECT_EQ(out["fields"][3], "00");
  EXPECT_EQ(out["fields"][4], "66");  // 102
  const std::string batch = Cli(peer.endpoint, {"--batch", "-"}, 0,
                                std::string("--request 3 --dat1 0 --dat2 1\n--request 3 --dat1 5 --dat2 1\n"));
  EXPECT_NE(batch.find("\"line\":2"), std::string::npos) << batch;
  out = json::parse(Cli(peer.endpoint, {"--request", "3", "--dat1", "4", "--dat2", "1", "--count", "5", "--interval",
                                        "10", "--json"}));
  EXPECT_EQ(out["polls"], json::parse(R"([{"result":0},{"result":0},{"result":0},{"result":0},{"result":0}])"))
      << out.dump();
  EXPECT_EQ(out["fields"][4], "68");  // 104
}

TEST(CliOverNetwork, TheMonitorShowsTheFramesAsTheyWentOverTheNetwork) {
  Peer peer("socket", 1, "0=7");
  const json out = json::parse(Cli(peer.endpoint, {"--request", "3", "--data", "00 00 00 01", "--json", "--monitor"}));
  ASSERT_EQ(out["frames"].size(), 2u);
  EXPECT_EQ(out["frames"][0]["hex"].get<std::string>().substr(6, 11), "00 00 00 06") << "protocol 0, length 6";
  EXPECT_EQ(out["frames"][1]["hex"].get<std::string>().substr(12), "00 05 01 03 02 00 07");
}

TEST(CliOverNetwork, ScanSweepsAddressesOnlyAndSaysSo) {
  PeerProgram sim({MODBUS_SIM_PATH, "--tcp", "127.0.0.1:0", "--devices", "4,6"});
  const std::string endpoint = "rtuovertcp://" + WordOf(sim.FirstLine(), 2);
  const ProgramRun run = RunProgram(MODBUS_CLI_PATH, {"--port", endpoint, "--scan", "--addresses", "1-8", "--bauds",
                                                      "9600,19200", "--frames", "N2,E1", "--json"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_NE(run.Err.find("line settings do not apply"), std::string::npos) << run.Err;
  const json out = json::parse(run.Out);
  EXPECT_EQ(out["probes"], 8);
  EXPECT_EQ(out["addresses_only"], true);
  ASSERT_EQ(out["devices"].size(), 2u);
  EXPECT_EQ(out["devices"][0]["address"], 4);
  EXPECT_EQ(out["devices"][1]["address"], 6);
}

TEST(CliOverNetwork, ARefusedEndpointIsAnOpenErrorThatSaysWhy) {
  const std::string out = Cli("tcp://127.0.0.1:1", {"--request", "3", "--data", "00 00 00 01", "--json"}, 3);
  EXPECT_NE(out.find("connection refused by 127.0.0.1:1"), std::string::npos) << out;
}
