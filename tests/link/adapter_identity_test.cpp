// Finding a USB adapter again by what it is, over a sysfs of our own and
// real device nodes.
#include "link/adapter_identity.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_dev_tree.h"

namespace rs485::test {
namespace {

using Usb = FakeDevTree::Usb;

TEST(AdapterIdentity, IsReadFromSysfsForAUsbAdaptersTtyOnly) {
  FakeDevTree tree;
  tree.adapter("ttyUSB0", "/dev/null", {.port = "1-2", .serial = "A10K", .interface = 1});
  tree.onBoard("ttyS1", "/dev/zero");
  tree.file("ttyUSB5");
  tree.node("ttyUSB6", "/dev/full");  // a node that sysfs does not list

  const auto identity = adapterIdentity(tree.at("ttyUSB0"), tree.sys());
  ASSERT_TRUE(identity.has_value());
  EXPECT_EQ(identity->vendor, "0403");
  EXPECT_EQ(identity->product, "6001");
  EXPECT_EQ(identity->serial, "A10K");
  EXPECT_EQ(identity->interface, "01");
  EXPECT_TRUE(identity->usbPort.ends_with("/usb1/1-2")) << identity->usbPort;
  for (const char* name : {"ttyS1", "ttyUSB5", "ttyUSB6", "missing"}) {
    EXPECT_EQ(adapterIdentity(tree.at(name), tree.sys()), std::nullopt) << name;
  }
}

TEST(AdapterIdentity, TheAdapterIsFoundUnderTheNameItCameBackWith) {
  FakeDevTree tree;
  tree.adapter("ttyUSB0", "/dev/null", {.port = "1-1", .serial = "OURS"});
  const auto ours = adapterIdentity(tree.at("ttyUSB0"), tree.sys());
  ASSERT_TRUE(ours.has_value());
  EXPECT_EQ(findAdapter(*ours, tree.dev(), tree.sys()), tree.at("ttyUSB0"));

  tree.unplug("ttyUSB0");
  EXPECT_EQ(findAdapter(*ours, tree.dev(), tree.sys()), std::nullopt) << "not back yet";
  // Another adapter of the same make is plugged in first and takes the name.
  tree.adapter("ttyUSB0", "/dev/zero", {.port = "1-1", .serial = "OTHER"});
  EXPECT_EQ(findAdapter(*ours, tree.dev(), tree.sys()), std::nullopt) << "the name is not the adapter";
  tree.adapter("ttyUSB1", "/dev/full", {.port = "1-2", .serial = "OURS"});
  EXPECT_EQ(findAdapter(*ours, tree.dev(), tree.sys()), tree.at("ttyUSB1")) << "in another USB port too";
}

// Each case: the adapter as it was opened, what is present now, and the name
// it is found by (empty: none is taken).
struct Presence {
  const char* name;
  const char* caseName;
  Usb opened;
  std::vector<std::pair<const char*, Usb>> present;
  const char* found;
};

class FindAdapter : public ::testing::TestWithParam<Presence> {};

TEST_P(FindAdapter, TakesTheOneNodeThatIsTheAdapter) {
  const Presence& p = GetParam();
  FakeDevTree tree;
  const char* nodes[] = {"/dev/zero", "/dev/full", "/dev/random", "/dev/urandom"};
  tree.adapter("ttyUSB9", "/dev/null", p.opened);
  const auto wanted = adapterIdentity(tree.at("ttyUSB9"), tree.sys());
  ASSERT_TRUE(wanted.has_value());
  tree.unplug("ttyUSB9");
  for (std::size_t i = 0; i < p.present.size(); ++i)
    tree.adapter(p.present[i].first, nodes[i], p.present[i].second);
  const auto found = findAdapter(*wanted, tree.dev(), tree.sys());
  if (*p.found == '\0') {
    EXPECT_EQ(found, std::nullopt);
  } else {
    EXPECT_EQ(found, tree.at(p.found));
  }
}

const Presence kPresences[] = {
    {"NoSerial",
     "an adapter without a serial number is known by its USB port",
     {.port = "1-3", .vendor = "1a86", .product = "7523"},
     {{"ttyUSB0", {.port = "1-1", .vendor = "1a86", .product = "7523"}},
      {"ttyUSB1", {.port = "1-3", .vendor = "1a86", .product = "7523"}}},
     "ttyUSB1"},
    {"NoSerialOtherPort",
     "without a serial number another port is another adapter",
     {.port = "1-3", .vendor = "1a86", .product = "7523"},
     {{"ttyUSB0", {.port = "1-4", .vendor = "1a86", .product = "7523"}}},
     ""},
    {"ClonesByPort",
     "clones with one serial number are told apart by their port",
     {.port = "1-2", .serial = "A50285BI"},
     {{"ttyUSB0", {.port = "1-1", .serial = "A50285BI"}}, {"ttyUSB1", {.port = "1-2", .serial = "A50285BI"}}},
     "ttyUSB1"},
    {"ClonesElsewhere",
     "clones in ports other than its own: ambiguous",
     {.port = "1-2", .serial = "A50285BI"},
     {{"ttyUSB0", {.port = "1-1", .serial = "A50285BI"}}, {"ttyUSB1", {.port = "1-4", .serial = "A50285BI"}}},
     ""},
    {"OtherInterface",
     "another port of the same adapter is not this one",
     {.port = "1-1", .serial = "DUAL", .interface = 1},
     {{"ttyUSB0", {.port = "1-1", .serial = "DUAL", .interface = 0}},
      {"ttyUSB1", {.port = "1-1", .serial = "DUAL", .interface = 1}}},
     "ttyUSB1"},
    {"OtherMake",
     "the same serial number on another make is another adapter",
     {.port = "1-1", .serial = "0001"},
     {{"ttyUSB0", {.port = "1-1", .vendor = "10c4", .product = "ea60", .serial = "0001"}}},
     ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, FindAdapter, ::testing::ValuesIn(kPresences),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AdapterIdentity, ANodeThatIsNotTheDeviceSysfsListsIsNeverTaken) {
  FakeDevTree tree;
  tree.adapter("ttyUSB0", "/dev/null", {.port = "1-1", .serial = "OURS"});
  const auto ours = adapterIdentity(tree.at("ttyUSB0"), tree.sys());
  ASSERT_TRUE(ours.has_value());
  tree.node("ttyUSB0", "/dev/zero");  // a stale node, left from another device
  EXPECT_EQ(findAdapter(*ours, tree.dev(), tree.sys()), std::nullopt);
  tree.file("ttyUSB0");
  EXPECT_EQ(findAdapter(*ours, tree.dev(), tree.sys()), std::nullopt);
}

TEST(SameDeviceNode, ComparesTheDeviceNumbersOfCharacterDevicesOnly) {
  FakeDevTree tree;
  tree.node("a", "/dev/null");
  tree.node("b", "/dev/null");
  tree.node("c", "/dev/zero");
  tree.file("f");
  tree.file("g");
  EXPECT_TRUE(sameDeviceNode(tree.at("a"), tree.at("b")));
  EXPECT_TRUE(sameDeviceNode(tree.at("a"), "/dev/null"));
  EXPECT_FALSE(sameDeviceNode(tree.at("a"), tree.at("c")));
  EXPECT_FALSE(sameDeviceNode(tree.at("f"), tree.at("g"))) << "regular files are no device";
  EXPECT_FALSE(sameDeviceNode(tree.at("f"), tree.at("f")));
  EXPECT_FALSE(sameDeviceNode(tree.at("missing"), tree.at("missing")));
}

}  // namespace
}  // namespace rs485::test
