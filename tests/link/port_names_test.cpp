// COMn names over fake /dev and /sys trees.
#include "link/port_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace rs485 {
namespace {

namespace fs = std::filesystem;

class FakeTrees : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("rs485-names-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    fs::create_directories(root / "sys" / "class" / "tty");
  }
  void TearDown() override { fs::remove_all(root); }

  void device(const std::string& name) { std::ofstream(root / "dev" / name); }
  // An on-board port as the kernel lists it; type "" leaves out the type file.
  void onBoard(const std::string& name, bool hasDevice, const std::string& type) {
    device(name);
    const fs::path tty = root / "sys" / "class" / "tty" / name;
    fs::create_directories(tty);
    if (hasDevice) fs::create_directories(tty / "device");
    if (!type.empty()) std::ofstream(tty / "type") << type;
  }
  PortNames names(std::map<std::string, std::string> overrides = {}) const {
    return PortNames(std::move(overrides), dev(), (root / "sys").string());
  }
  std::string dev() const { return (root / "dev").string(); }
  std::string at(const std::string& name) const { return (root / "dev" / name).string(); }

  fs::path root;
};

// The nodes are real character devices (no serial ports): a by-id link is
// matched by the device number, which regular files do not have.
TEST_F(FakeTrees, AFoundAdapterIsOpenedByItsStableLinkAMappedPathAsGiven) {
  fs::create_symlink("/dev/null", root / "dev" / "ttyUSB0");
  fs::create_symlink("/dev/zero", root / "dev" / "ttyUSB1");
  fs::create_symlink("/dev/full", root / "dev" / "ttyUSB2");
  const fs::path byId = root / "dev" / "serial" / "by-id";
  fs::create_directories(byId);
  fs::create_symlink("/dev/full", byId / "usb-Maker_Adapter_A-if00-port0");  // ttyUSB2, by another path
  fs::create_symlink("../../ttyUSB1", byId / "usb-Maker_Adapter_B-if00-port0");
  std::ofstream(byId / "not-a-device");
  const PortNames mapped = names({{"COM3", at("ttyUSB1")}});
  EXPECT_EQ(names().stablePath("COM1"), at("ttyUSB0")) << "no link: the node";
  EXPECT_EQ(names().stablePath("COM2"), at("serial/by-id/usb-Maker_Adapter_B-if00-port0"));
  EXPECT_EQ(names().stablePath("COM3"), at("serial/by-id/usb-Maker_Adapter_A-if00-port0"));
  EXPECT_EQ(mapped.stablePath("COM3"), at("ttyUSB1")) << "--port wins as it is";
  EXPECT_EQ(names().stablePath("COM4"), std::nullopt);
}

TEST_F(FakeTrees, UsbAdaptersInNumericOrderComeFirstThenOnBoardPortsWithHardware) {
  for (const char* name :
       {"ttyUSB10", "ttyUSB2", "ttyACM1", "ttyACM0", "tty0", "ttyUSB", "ttyUSBx", "console"}) {
    device(name);
  }
  onBoard("ttyS0", true, "0\n");  // listed, but no UART behind it
  onBoard("ttyS1", true, "4\n");
  onBoard("ttyS2", false, "4\n");  // no device at all
  onBoard("ttyS10", true, "");
  onBoard("ttyS01", true, "4\n");  // not a name the kernel gives

  const std::vector<std::string> expected = {at("ttyUSB2"), at("ttyUSB10"), at("ttyACM0"),
                                             at("ttyACM1"), at("ttyS1"),    at("ttyS10")};
  EXPECT_EQ(names().presentDevices(), expected);
  for (std::size_t n = 1; n <= expected.size(); ++n) {
    EXPECT_EQ(names().resolve("COM" + std::to_string(n)), expected[n - 1]) << n;
  }
  EXPECT_EQ(names().resolve("COM7"), std::nullopt);
}

TEST_F(FakeTrees, AnExplicitMappingWinsOverThePresentDevices) {
  device("ttyUSB0");
  device("ttyUSB1");
  const PortNames mapped = names({{"COM1", "/tmp/sim-port"}});
  EXPECT_EQ(mapped.resolve("COM1"), "/tmp/sim-port");
  EXPECT_EQ(mapped.resolve("COM2"), at("ttyUSB1"));
}

TEST_F(FakeTrees, NamesThatNameNothing) {
  device("ttyUSB0");
  for (const char* name : {"COM2", "COM0", "COM01", "COM", "COM1x", "com1", "LPT1", ""}) {
    EXPECT_EQ(names().resolve(name), std::nullopt) << name;
  }
  EXPECT_TRUE(
      PortNames({}, (root / "missing").string(), (root / "missing").string()).presentDevices().empty());
}

TEST(PortNamesOption, ParsesComNEqualsPath) {
  using Parsed = std::optional<std::pair<std::string, std::string>>;
  const std::pair<const char*, Parsed> cases[] = {
      {"COM3=/x", std::pair{"COM3", "/x"}},
      {"COM12=/dev/pts/4", std::pair{"COM12", "/dev/pts/4"}},
      {"COM1=/odd=name", std::pair{"COM1", "/odd=name"}},
      {"COM3=", std::nullopt},
      {"=/x", std::nullopt},
      {"COM3", std::nullopt},
      {"PORT3=/x", std::nullopt},
      {"COM0=/x", std::nullopt},
      {"COM03=/x", std::nullopt},
      {"COMx=/x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, parsed] : cases) EXPECT_EQ(PortNames::parseOption(text), parsed) << text;
}

}  // namespace
}  // namespace rs485
