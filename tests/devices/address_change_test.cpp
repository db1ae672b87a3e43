#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/messages.h"
#include "tests/devices/rig.h"
#include "tests/support/printers.h"

namespace rs485::test {
namespace {

using test::PrintTo;  // table rows show as their name

struct RejectCase {
  const char* name;
  const char* digits[3];
  const char* newDigits[3];
  const char* message;
  FocusTarget focus;
  int selectedAfter;
};

class Rejected : public ::testing::TestWithParam<RejectCase> {};

TEST_P(Rejected, ShowsTheMessageAndSendsNothing) {
  const RejectCase& c = GetParam();
  Rig rig;
  rig.view.setDigits(c.digits[0], c.digits[1], c.digits[2]);
  rig.view.setNewDigits(c.newDigits[0], c.newDigits[1], c.newDigits[2]);
  rig.state.PendingCommand = CmdProbe;

  rig.clickInstallAdress();

  ASSERT_EQ(rig.view.errors.size(), 1u);
  EXPECT_EQ(rig.view.errors[0].first, QString::fromUtf8(c.message));
  EXPECT_EQ(rig.view.errors[0].second, c.focus);
  EXPECT_EQ(rig.log.size(), 1u) << "nothing but the box";
  EXPECT_EQ(rig.state.PendingCommand, CmdProbe);
  EXPECT_EQ(rig.exchange.txCount(), 0);
  EXPECT_EQ(rig.tx(), TxFrame{});
  EXPECT_EQ(rig.exchange.answerLength(), 0);
  EXPECT_EQ(rig.state.SelectedAddress, c.selectedAfter) << "the rejected value is kept";
}

// The boxes' texts, written out rather than taken from messages.h.
constexpr const char* kWrongNew = "Неправильно введен адрес";
constexpr const char* kEnterDevice = "Введите адрес устройства";
constexpr const char* kNoInteger = "'' is not a valid integer value";

INSTANTIATE_TEST_SUITE_P(
    AddressChange, Rejected,
    ::testing::Values(
        RejectCase{"SameAddress", {"0", "0", "5"}, {"0", "0", "5"}, kWrongNew, FocusTarget::new1, 5},
        // The new address is not even looked at.
        RejectCase{"NoDevice", {"0", "0", "0"}, {"x", "", "x"}, kEnterDevice, FocusTarget::n1_addr, 0},
        RejectCase{"Device248", {"2", "4", "8"}, {"0", "0", "1"}, kEnterDevice, FocusTarget::n1_addr, 248},
        RejectCase{"Device299", {"2", "9", "9"}, {"0", "0", "1"}, kEnterDevice, FocusTarget::n1_addr, 299},
        RejectCase{"New248", {"0", "0", "5"}, {"2", "4", "8"}, kWrongNew, FocusTarget::new1, 5},
        RejectCase{"NewZero", {"0", "0", "5"}, {"0", "0", "0"}, kWrongNew, FocusTarget::new1, 5},
        RejectCase{"EmptyDeviceEditor", {"0", "", "5"}, {"0", "0", "9"}, kNoInteger, FocusTarget::None, 0},
        RejectCase{"EmptyNewEditor", {"0", "0", "5"}, {"0", "0", ""}, kNoInteger, FocusTarget::None, 5}),
    rowName);

struct Listed3_17_42 : ::testing::Test {
  Rig rig;
  void SetUp() override {
    rig.state.FoundDevices = {{3, 11}, {17, 22}, {42, 33}};
    rig.view.list = {"Адрес: 3", "Адрес: 17", "Адрес: 42"};
    rig.view.selectedRow = 1;
    rig.view.setDigits("0", "1", "7");
    rig.view.setNewDigits("1", "0", "0");
  }
};

TEST_F(Listed3_17_42, SendsTheFiveByteRequest) {
  rig.state.PendingCommand = CmdProbe;
  assembleFrame(rig.exchange, std::vector<std::uint8_t>{0x55, 0x01});  // a partial frame stays where it is

  rig.clickInstallAdress();

  EXPECT_TRUE(rig.log.empty()) << "no status text, no timer";
  EXPECT_EQ(rig.state.PendingCommand, CmdSetAddress);
  EXPECT_EQ(rig.state.SelectedAddress, 17);
  EXPECT_EQ(rig.session.activity(), Activity::ChangingAddress);
  EXPECT_EQ(rig.tx(), buildAddressChangeRequest(17, 100));
  EXPECT_EQ(rig.tx()[0], 17);
  EXPECT_EQ(rig.tx()[1], 0x02);
  EXPECT_EQ(rig.tx()[2], 100);
  EXPECT_EQ(rig.exchange.txCount(), kAddressChangeRequestLength);
  EXPECT_EQ(rig.exchange.answerLength(), kStatusResponseLength);
  EXPECT_EQ(rig.exchange.frame().size(), 2);
  EXPECT_EQ(rig.exchange.frame()[0], 0x55);
}

TEST_F(Listed3_17_42, AcknowledgementRenamesTheEntryAndRebuildsTheList) {
  rig.clickInstallAdress();
  rig.log.clear();

  // The address and command bytes of the answer are not looked at.
  rig.arrive(Rig::statusFrame(77, 0, 0x09));

  EXPECT_EQ(rig.log, (CallLog{"list clear", "list add Адрес: 3", "list add Адрес: 100", "list add Адрес: 42",
                              "status Адрес успешно изменен"}));
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{3, 100, 42}));
  EXPECT_EQ(rig.state.FoundDevices[1].recordedMinute, 22);
  EXPECT_EQ(rig.state.SelectedAddress, 100);
  EXPECT_EQ(rig.view.selectedRow, -1);
  EXPECT_EQ(rig.view.digits[0] + rig.view.digits[1] + rig.view.digits[2], "017");
  EXPECT_EQ(rig.view.newDigits[0] + rig.view.newDigits[1] + rig.view.newDigits[2], "100");
  EXPECT_EQ(rig.state.PendingCommand, CmdSetAddress) << "stays 2 after the acknowledgement";
  EXPECT_TRUE(rig.dialog.questions.empty());
}

// One request, one reply: a second acknowledgement is nobody's answer.
TEST_F(Listed3_17_42, RepeatedAcknowledgementChangesNothingMore) {
  rig.clickInstallAdress();
  rig.answer(17);
  rig.log.clear();
  rig.answer(17);
  EXPECT_TRUE(rig.log.empty());
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{3, 100, 42}));
  EXPECT_EQ(rig.unasked, std::vector<int>{17});
}

TEST_F(Listed3_17_42, NonZeroStatusIsIgnored) {
  rig.clickInstallAdress();
  rig.log.clear();
  rig.answer(17, 1);
  EXPECT_TRUE(rig.log.empty());
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{3, 17, 42}));
  EXPECT_EQ(rig.state.SelectedAddress, 17);
  EXPECT_EQ(rig.view.selectedRow, 1);

  // The refusal was the request's answer; a click asks again.
  rig.answer(17);
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{3, 17, 42}));
  rig.clickInstallAdress();
  rig.answer(17);
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{3, 100, 42}));
}

TEST_F(Listed3_17_42, AddressNotInTheListIsSentAndAcknowledgedAllTheSame) {
  rig.view.setDigits("0", "0", "5");
  rig.view.setNewDigits("0", "0", "9");
  rig.clickInstallAdress();
  EXPECT_EQ(rig.tx(), buildAddressChangeRequest(5, 9));
  rig.log.clear();

  rig.answer(5);

  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{3, 17, 42}));
  EXPECT_EQ(rig.state.SelectedAddress, 9);
  EXPECT_EQ(rig.log, (CallLog{"list clear", "list add Адрес: 3", "list add Адрес: 17", "list add Адрес: 42",
                              "status Адрес успешно изменен"}));
}

TEST(AddressChange, OnlyTheFirstOfTwoEqualEntriesIsRenamed) {
  Rig rig;
  rig.state.FoundDevices = {{8, 0}, {17, 1}, {17, 2}};
  rig.view.setDigits("0", "1", "7");
  rig.view.setNewDigits("2", "0", "0");
  rig.clickInstallAdress();
  rig.answer(17);
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{8, 200, 17}));
  EXPECT_EQ(rig.state.FoundDevices[1].recordedMinute, 1);
  EXPECT_EQ(rig.view.list, (QStringList{"Адрес: 8", "Адрес: 200", "Адрес: 17"}));
}

TEST(AddressChange, EdgesOfTheRangeAreAccepted) {
  const std::pair<const char*, const char*> cases[] = {{"001", "247"}, {"247", "001"}};
  for (const auto& [from, to] : cases) {
    Rig rig;
    rig.view.digits[0] = QString(QChar(from[0]));
    rig.view.digits[1] = QString(QChar(from[1]));
    rig.view.digits[2] = QString(QChar(from[2]));
    rig.view.newDigits[0] = QString(QChar(to[0]));
    rig.view.newDigits[1] = QString(QChar(to[1]));
    rig.view.newDigits[2] = QString(QChar(to[2]));
    rig.clickInstallAdress();
    EXPECT_TRUE(rig.view.errors.empty()) << from << " -> " << to;
    EXPECT_EQ(rig.tx(), buildAddressChangeRequest(std::atoi(from), std::atoi(to)));
  }
}

TEST(AddressChange, SelectionFromTheListDoesNotReplaceTheEditors) {
  // The next operation forms its address from the editors again.
  Rig rig;
  rig.state.FoundDevices = {{17, 0}};
  rig.view.list = {"Адрес: 17"};
  rig.view.selectedRow = 0;
  rig.session.selectListed(rig.view.selectedCaption());
  rig.view.setNewDigits("1", "0", "0");
  rig.clickInstallAdress();
  rig.answer(17);
  ASSERT_EQ(rig.state.SelectedAddress, 100);

  rig.view.setNewDigits("1", "0", "1");
  rig.clickInstallAdress();
  EXPECT_EQ(rig.tx(), buildAddressChangeRequest(17, 101)) << "the editors still say 017";
}

}  // namespace
}  // namespace rs485::test
