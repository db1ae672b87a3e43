#include "sim/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/text.h"

namespace rs485::sim {
namespace {

CommandLine parse(std::vector<std::string> args) { return parseCommandLine(args); }

TEST(CommandLine, Defaults) {
  const CommandLine cl = parse({});
  EXPECT_FALSE(cl.help);
  EXPECT_FALSE(cl.version);
  ASSERT_EQ(cl.options.devices.size(), 1u);
  EXPECT_EQ(cl.options.devices[0].address, 1);
  EXPECT_TRUE(cl.options.pace);
  EXPECT_TRUE(cl.options.linkPath.empty());
  EXPECT_TRUE(cl.options.devicePath.empty());
  EXPECT_EQ(cl.options.speed, 1.0);
  EXPECT_EQ(cl.outage, std::chrono::milliseconds(5000));
}

TEST(CommandLine, EveryOption) {
  const CommandLine cl = parse({"--devices",
                                "3,7,12",
                                "--link=/tmp/COM1",
                                "--no-pace",
                                "--log",
                                "f.log",
                                "--seed",
                                "99",
                                "--speed",
                                "60",
                                "--outage",
                                "1500",
                                "--turnaround",
                                "0.5",
                                "--fault",
                                "7:bad-crc=0.1,split=0.05",
                                "--fault",
                                "all:extra=0.25",
                                "--fixed",
                                "12:temperature=-200,time=130,cycles=0,status=0x80"});
  const SimOptions& o = cl.options;
  ASSERT_EQ(o.devices.size(), 3u);
  EXPECT_EQ(o.devices[2].address, 12);
  EXPECT_EQ(o.linkPath, "/tmp/COM1");
  EXPECT_FALSE(o.pace);
  EXPECT_EQ(o.logPath, "f.log");
  EXPECT_EQ(o.seed, 99u);
  EXPECT_EQ(o.speed, 60.0);
  EXPECT_EQ(cl.outage, std::chrono::milliseconds(1500));
  EXPECT_EQ(o.turnaround, std::chrono::microseconds(500));
  EXPECT_EQ(o.devices[1].faults.badCrc, 0.1);
  EXPECT_EQ(o.devices[1].faults.split, 0.05);
  for (const auto& d : o.devices) EXPECT_EQ(d.faults.extraBytes, 0.25) << d.address;
  EXPECT_EQ(o.devices[0].faults.badCrc, 0.0);
  ASSERT_TRUE(o.devices[2].fixedReadings);
  const ReadingsResponse& r = *o.devices[2].fixedReadings;
  EXPECT_EQ(r.address, 12);
  EXPECT_EQ(r.command, 0x50);
  EXPECT_EQ(r.temperature, -200);
  EXPECT_EQ(r.timeMinutes, 130);
  EXPECT_EQ(r.cycles, 0);
  EXPECT_EQ(r.statusByte, 0x80);
  EXPECT_FALSE(o.devices[0].fixedReadings);

  EXPECT_TRUE(parse({"--help"}).help);
  EXPECT_TRUE(parse({"-v"}).version);
  EXPECT_TRUE(parse({"--devices", "3", "--version"}).version);
  EXPECT_EQ(parse({"--port", "/dev/ttyUSB0"}).options.devicePath, "/dev/ttyUSB0");
}

TEST(CommandLine, SlowDevicesAndSharedAddresses) {
  const CommandLine cl = parse({"--devices", "3,5,9", "--turnaround", "1.5", "--turnaround", "5:80",
                                "--shared", "5", "--fault", "5:bad-status"});
  const SimOptions& o = cl.options;
  EXPECT_EQ(o.turnaround, std::chrono::microseconds(1500));
  ASSERT_EQ(o.devices.size(), 4u);
  EXPECT_EQ(o.devices[3].address, 5);
  EXPECT_TRUE(o.devices[3].sharesAddress);
  EXPECT_FALSE(o.devices[1].sharesAddress);
  // Both devices at 5 take what names 5.
  for (const std::size_t i : {1u, 3u}) {
    EXPECT_EQ(o.devices[i].turnaround, std::chrono::microseconds(80000)) << i;
    EXPECT_EQ(o.devices[i].faults.badStatus, 1.0) << i;
  }
  EXPECT_FALSE(o.devices[0].turnaround);
  EXPECT_NO_THROW(SimServer{o});
}

TEST(CommandLine, FaultList) {
  const Faults f = parseFaults(
      "silent,bad-status=0.5,wrong-address,other-address=42,fail-status=3,"
      "extra-count=5,gap-min=20,gap-max=40",
      Faults{});
  EXPECT_EQ(f.silent, 1.0) << "a fault without a value strikes every time";
  EXPECT_EQ(f.badStatus, 0.5);
  EXPECT_EQ(f.wrongAddress, 1.0);
  EXPECT_EQ(f.otherAddress, 42);
  EXPECT_EQ(f.failStatus, 3);
  EXPECT_EQ(f.extraByteCount, 5);
  EXPECT_EQ(f.splitGapMin, std::chrono::milliseconds(20));
  EXPECT_EQ(f.splitGapMax, std::chrono::milliseconds(40));
  EXPECT_EQ(f.badCrc, 0.0);
  EXPECT_EQ(f.late, 0.0);

  struct LateCase {
    const char* list;
    double late;
    int lateBy;
  };
  const LateCase late[] = {{"late=300", 1.0, 300},
                           {"late=300,late-p=0.3", 0.3, 300},
                           {"late-p=0.3,late=300", 0.3, 300},
                           {"late-p=0.25", 0.25, static_cast<int>(Faults{}.lateBy.count())},
                           {"late=1,late=60000", 1.0, 60000}};
  for (const LateCase& c : late) {
    SCOPED_TRACE(c.list);
    const Faults parsed = parseFaults(c.list, Faults{});
    EXPECT_EQ(parsed.late, c.late);
    EXPECT_EQ(parsed.lateBy, std::chrono::milliseconds(c.lateBy));
  }
}

TEST(CommandLine, MistakesAreRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"--devices", "0"},
      {"--devices", "248"},
      {"--devices", "3,x"},
      {"--devices", "3,3"},
      {"--shared", "2"},  // no device 2
      {"--turnaround", "2:5"},
      {"--turnaround", "1:-5"},
      {"--turnaround", "1:x"},
      {"--devices"},
      {"--link", "a", "--port", "b"},
      {"--fault", "5:silent"},  // no device 5
      {"--fault", "1:bad-crc=1.5"},
      {"--fault", "1:loud"},
      {"--fault", "1:late"},
      {"--fault", "1:late=0"},
      {"--fault", "1:late=60001"},
      {"--fault", "1:late-p"},
      {"--fault", "1:late-p=1.5"},
      {"--fault", "1"},
      {"--fixed", "1:colour=3"},
      {"--fixed", "1:temperature=40000"},
      {"--speed", "-1"},
      {"--no-pace=yes"},
      {"--version=2"},
      {"--frobnicate"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_THROW(parse(args), std::invalid_argument);
  }
}

TEST(CommandLine, HelpNamesEveryOption) {
  const std::string text = usage();
  for (const char* option : {"--devices", "--link", "--port", "--no-pace", "--log", "--help", "--fault",
                             "--seed", "--speed", "--fixed", "--turnaround", "--shared", "--version"})
    EXPECT_NE(text.find(option), std::string::npos) << option;
  for (const char* fault : {"late=MS", "late-p=P"}) EXPECT_NE(text.find(fault), std::string::npos) << fault;
}

TEST(Message, FillsItsPlaceholdersInTheirOrder) {
  const struct {
    const char* pattern;
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {"%1: %2", {"--seed", "x"}, "--seed: x"},
      {"%2 before %1", {"a", "b"}, "b before a"},
      {"%1%1", {"z"}, "zz"},
      {"100% sure, %3 stays", {"a"}, "100% sure, %3 stays"},
      {"an argument may hold %2: %1", {"%2", "x"}, "an argument may hold x: %2"},
  };
  for (const auto& c : cases) {
    const std::string got =
        c.args.size() == 1 ? message(c.pattern, {c.args[0]}) : message(c.pattern, {c.args[0], c.args[1]});
    EXPECT_EQ(got, c.expected) << c.pattern;
  }
}

// The program's translation sees every text before its placeholders are filled.
TEST(Message, MistakesAndTheHelpPassThroughTheTranslation) {
  setTranslation([](const char* english) { return "<" + std::string(english) + ">"; });
  std::string refusal;
  try {
    parse({"--devices", "3,3"});
  } catch (const std::invalid_argument& e) {
    refusal = e.what();
  }
  const std::string help = usage();
  setTranslation(nullptr);
  EXPECT_EQ(refusal, "<--devices names 3 twice>");
  EXPECT_EQ(help.front(), '<');
  EXPECT_EQ(usage().front(), 'U');
}

}  // namespace
}  // namespace rs485::sim
