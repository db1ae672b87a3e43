#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "devices/messages.h"
#include "tests/devices/rig.h"
#include "tests/support/printers.h"

namespace rs485::test {
namespace {

using test::PrintTo;  // table rows show as their name

std::string utf8(const QString& s) { return s.toStdString(); }
std::string status(const QString& s) { return "status " + utf8(s); }
std::string question(int address) { return "ask " + utf8(msg::foundDeviceQuestion(address)); }
std::string listed(int address) { return "list add " + utf8(deviceCaption(address)); }

TEST(Scan, StartStepsInOrder) {
  Rig rig;
  rig.state.PendingCommand = CmdReadCurrent;
  rig.state.FoundDevices = {{9, 0}, {10, 0}};
  rig.view.list = {"Адрес: 9", "Адрес: 10"};
  rig.view.listEnabled = true;
  rig.dialog.mode = ScanAnswer::StopScan;

  rig.clickFind();

  EXPECT_EQ(rig.log, (CallLog{"interval 750", "find [Стоп]", "timeouts off", "list clear", "openclose off",
                              "timer on", "askmode 1", "status Сканируется адрес: 1 из 247"}));
  EXPECT_TRUE(rig.state.FoundDevices.empty());
  EXPECT_TRUE(rig.view.listEnabled) << "the start leaves the list's flag alone";
  EXPECT_EQ(rig.state.PendingCommand, CmdProbe);
  EXPECT_EQ(rig.session.scan.ScanAddress(), 1);
  EXPECT_TRUE(rig.prepared.empty());
  EXPECT_TRUE(rig.session.scan.running());
}

TEST(Scan, BusWithoutDevicesProbesEveryAddressOnceInOrder) {
  Rig rig;
  rig.clickFind();
  rig.log.clear();

  for (int address = 1; address <= 247; ++address) {
    ASSERT_TRUE(rig.view.readTimer) << address;
    rig.scanTick(0);
    ASSERT_EQ(rig.tx(), buildBusRequest(address, CmdProbe)) << address;
    ASSERT_EQ(rig.exchange.txCount(), kBusRequestLength);
    ASSERT_EQ(rig.exchange.answerLength(), kStatusResponseLength);
    ASSERT_EQ(rig.log.at(0), status(msg::scanning(address)));
    if (address == 1) {
      EXPECT_EQ(head(rig.tx(), 4), (std::vector<std::uint8_t>{0x01, 0x01, 0xC1, 0xE0}));
    }
    if (address < 247) {
      ASSERT_EQ(rig.log.size(), 1u) << address;
      rig.log.clear();
    }
  }
  // The probe to 247 and the end fall on the same tick.
  EXPECT_EQ(rig.log,
            (CallLog{"status Сканируется адрес: 247 из 247", "find Поиск", "timeouts on", "openclose on",
                     "timer off", "status Сканирование завершено. Найдено 0 устройств"}));
  EXPECT_EQ(head(rig.tx(), 4), (std::vector<std::uint8_t>{0xF7, 0x01, 0x86, 0x40}));
  EXPECT_EQ(rig.session.scan.ScanAddress(), 248);
  EXPECT_EQ(rig.state.PendingCommand, CmdProbe) << "the scan leaves PendingCommand at 1";
  EXPECT_FALSE(rig.session.scan.running());
}

TEST(Scan, EmptyBusLeavesTheListFlagAsItWas) {
  for (const bool enabledBefore : {false, true}) {
    Rig rig;
    rig.view.listEnabled = enabledBefore;
    rig.clickFind();
    EXPECT_EQ(rig.runScan().size(), 247u);
    EXPECT_EQ(rig.view.listEnabled, enabledBefore);
    for (const auto& line : rig.log) EXPECT_EQ(line.rfind("list o", 0), std::string::npos) << line;
  }
}

struct ScriptCase {
  const char* name;
  std::vector<Answer> answers;
  std::vector<int> questionsFor;
  std::vector<int> found;
  int lastProbed;
  std::vector<int> endCounts;  // every end message, in order
};

class ScanWithDevices : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScanWithDevices, AnswersSteerTheScan) {
  const ScriptCase& c = GetParam();
  Rig rig;
  rig.dialog.answers.assign(c.answers.begin(), c.answers.end());
  rig.clickFind();
  const std::vector<int> probed = rig.runScan({{3, 3}, {17, 17}, {42, 42}});

  ASSERT_FALSE(probed.empty());
  EXPECT_EQ(probed.back(), c.lastProbed);
  for (std::size_t i = 0; i < probed.size(); ++i) EXPECT_EQ(probed[i], static_cast<int>(i) + 1);

  std::vector<QString> expectedQuestions;
  for (int a : c.questionsFor) expectedQuestions.push_back(msg::foundDeviceQuestion(a));
  EXPECT_EQ(rig.dialog.questions, expectedQuestions);

  EXPECT_EQ(rig.foundAddresses(), c.found);
  QStringList captions;
  for (int a : c.found) captions << deviceCaption(a);
  EXPECT_EQ(rig.listedCaptions(), captions);
  EXPECT_EQ(rig.prepared, c.found) << "each find prepares its file once";
  EXPECT_EQ(rig.prepared.size(), c.found.size());

  std::vector<std::string> ends;
  for (const auto& s : rig.statuses())
    if (s.rfind("Сканирование", 0) == 0) ends.push_back(s);
  std::vector<std::string> expectedEnds;
  for (int k : c.endCounts) expectedEnds.push_back(utf8(msg::scanFinished(k)));
  EXPECT_EQ(ends, expectedEnds);

  EXPECT_FALSE(rig.view.readTimer);
  EXPECT_EQ(rig.view.find, msg::findCaption());
  EXPECT_TRUE(rig.view.listEnabled);
  EXPECT_TRUE(rig.view.openCloseEnabled);
  EXPECT_TRUE(rig.view.timeoutsEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Scan, ScanWithDevices,
    ::testing::Values(
        ScriptCase{"YesToEach", {Answer::Yes, Answer::Yes, Answer::Yes}, {3, 17, 42}, {3, 17, 42}, 247, {3}},
        ScriptCase{"YesDontAskAtTheFirst", {Answer::YesDontAsk}, {3}, {3, 17, 42}, 247, {3}},
        ScriptCase{
            "YesDontAskAtTheSecond", {Answer::Yes, Answer::YesDontAsk}, {3, 17}, {3, 17, 42}, 247, {3}},
        // "Нет" ends at once and counts the device just found.
        ScriptCase{"NoAtTheSecond", {Answer::Yes, Answer::No}, {3, 17}, {3, 17}, 17, {2}},
        ScriptCase{"NoAtTheFirst", {Answer::No}, {3}, {3}, 3, {1}},
        ScriptCase{"CloseBoxKeepsAsking",
                   {Answer::CloseBox, Answer::CloseBox, Answer::Yes},
                   {3, 17, 42},
                   {3, 17, 42},
                   247,
                   {3}}),
    rowName);

TEST(Scan, FindStepsInOrder) {
  Rig rig;
  rig.now = QDateTime(QDate(2024, 3, 1), QTime(10, 30));
  rig.clickFind();
  rig.scanTick(0);
  rig.scanTick(0);
  rig.scanTick(0);

  // What each step has done by the time the later ones run.
  rig.dialog.whileOpen = [&] {
    ASSERT_EQ(rig.state.FoundDevices.size(), 1u);
    EXPECT_EQ(rig.state.FoundDevices[0].recordedMinute, 0) << "the minute is set after the question";
    EXPECT_TRUE(rig.prepared.empty());
  };
  rig.onPrepare = [&](int) {
    EXPECT_EQ(rig.state.FoundDevices[0].recordedMinute, 29);
    EXPECT_EQ(rig.exchange.frame().size(), kStatusResponseLength) << "the frame is cleared last";
    EXPECT_EQ(rig.exchange.frame()[0], 3);
  };
  rig.log.clear();
  rig.answer(3);

  EXPECT_EQ(rig.log, (CallLog{"timer off", listed(3), "timer off", question(3), "answer yes", "timer on",
                              "prepare 3"}));
  EXPECT_EQ(rig.prepared, (std::vector<int>{3}));
  EXPECT_EQ(rig.exchange.frame().size(), 0);
  for (auto b : rig.exchange.receiveBuffer()) EXPECT_EQ(b, 0);

  // The next probe goes on from where the scan was.
  rig.scanTick(0);
  EXPECT_EQ(rig.tx(), buildBusRequest(4, CmdProbe));
}

TEST(Scan, FindWithoutQuestionRestartsTheTimer) {
  Rig rig;
  rig.clickFind();
  rig.dialog.mode = ScanAnswer::GoOnWithoutAsking;
  rig.scanTick(0);
  rig.log.clear();
  rig.answer(1);
  EXPECT_EQ(rig.log, (CallLog{"timer off", listed(1), "timer on", "prepare 1"}));
}

TEST(Scan, NoEndsTheScanBeforeTheFileIsPrepared) {
  Rig rig;
  rig.dialog.answers = {Answer::No};
  rig.clickFind();
  rig.scanTick(0);
  rig.log.clear();
  rig.answer(1);
  EXPECT_EQ(rig.log, (CallLog{"timer off", listed(1), "timer off", question(1), "answer no", "find Поиск",
                              "timeouts on", "openclose on", "timer off", "list on",
                              "status Сканирование завершено. Найдено 1 устройств", "prepare 1"}));
}

TEST(Scan, DontAskLastsOnlyUntilTheNextScan) {
  Rig rig;
  rig.dialog.answers = {Answer::YesDontAsk};
  rig.clickFind();
  rig.runScan({{3, 3}, {17, 17}});
  EXPECT_EQ(rig.dialog.questions.size(), 1u);

  rig.clickFind();
  rig.runScan({{3, 3}, {17, 17}});
  EXPECT_EQ(rig.dialog.questions,
            (std::vector<QString>{msg::foundDeviceQuestion(3), msg::foundDeviceQuestion(3),
                                  msg::foundDeviceQuestion(17)}));
}

TEST(Scan, BusyTickSendsNothingAndKeepsTheAddress) {
  Rig rig;
  rig.clickFind();
  rig.scanTick(0);
  rig.scanTick(0);
  ASSERT_EQ(rig.tx(), buildBusRequest(2, CmdProbe));
  rig.log.clear();

  rig.scanTick(3);
  rig.scanTick(1);
  EXPECT_TRUE(rig.log.empty()) << "no progress text on a skipped tick";
  EXPECT_EQ(rig.tx(), buildBusRequest(2, CmdProbe)) << "nothing new was sent";
  EXPECT_EQ(rig.session.scan.ScanAddress(), 3);

  rig.scanTick(0);
  EXPECT_EQ(rig.tx(), buildBusRequest(3, CmdProbe));
  EXPECT_EQ(rig.log, (CallLog{status(msg::scanning(3))}));
}

TEST(Scan, BusyTickBefore247PostponesTheEnd) {
  // 247 is probed only on a quiet tick, and that tick ends the scan.
  Rig rig;
  rig.clickFind();
  for (int i = 0; i < 246; ++i) rig.scanTick(0);
  rig.scanTick(5);
  EXPECT_TRUE(rig.view.readTimer);
  EXPECT_EQ(rig.session.scan.ScanAddress(), 247);
  rig.scanTick(0);
  EXPECT_FALSE(rig.view.readTimer);
  EXPECT_EQ(rig.view.status, msg::scanFinished(0));
}

TEST(Scan, AnswerNamingAnotherAddressIsListedUnderThatAddress) {
  Rig rig;
  rig.clickFind();
  const auto probed = rig.runScan({{3, 9}});
  EXPECT_EQ(probed.size(), 247u);
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{9}));
  EXPECT_EQ(rig.listedCaptions(), QStringList{"Адрес: 9"});
  EXPECT_EQ(rig.dialog.questions, (std::vector<QString>{msg::foundDeviceQuestion(9)}));
  EXPECT_EQ(rig.prepared, (std::vector<int>{9}));
}

struct IgnoredAnswer {
  const char* name;
  std::vector<std::uint8_t> frame;
};

class ScanIgnores : public ::testing::TestWithParam<IgnoredAnswer> {};

TEST_P(ScanIgnores, AnswerHasNoEffectAndTheScanKeepsItsPace) {
  Rig rig;
  rig.clickFind();
  rig.scanTick(0);
  rig.scanTick(0);
  rig.log.clear();

  rig.arrive(GetParam().frame);

  EXPECT_TRUE(rig.log.empty());
  EXPECT_TRUE(rig.state.FoundDevices.empty());
  EXPECT_TRUE(rig.dialog.questions.empty());
  EXPECT_TRUE(rig.prepared.empty());
  EXPECT_TRUE(rig.view.readTimer);
  EXPECT_EQ(rig.exchange.frame().size(), 0) << "the engine drops the frame";

  rig.scanTick(0);
  EXPECT_EQ(rig.tx(), buildBusRequest(3, CmdProbe));
}

std::vector<std::uint8_t> corrupted(std::vector<std::uint8_t> frame) {
  frame[0] ^= 0x01;
  return frame;
}

INSTANTIATE_TEST_SUITE_P(Scan, ScanIgnores,
                         ::testing::Values(IgnoredAnswer{"StatusOne", Rig::statusFrame(2, 1)},
                                           IgnoredAnswer{"StatusFF", Rig::statusFrame(2, 0xFF)},
                                           IgnoredAnswer{"BadCrc", corrupted(Rig::statusFrame(2))}),
                         rowName);

TEST(Scan, ShortFrameIsNotHandledYet) {
  Rig rig;
  rig.clickFind();
  rig.scanTick(0);
  auto frame = Rig::statusFrame(1);
  frame.pop_back();
  rig.arrive(frame);
  EXPECT_TRUE(rig.state.FoundDevices.empty());
}

struct LateAnswerCase {
  const char* name;
  Answer answer;
  std::vector<std::string> endMessages;
  bool listEnabled;
};

class DeviceAt247 : public ::testing::TestWithParam<LateAnswerCase> {};

TEST_P(DeviceAt247, AnswersAfterTheEndMessage) {
  const LateAnswerCase& c = GetParam();
  Rig rig;
  rig.dialog.answers = {c.answer};
  rig.clickFind();
  rig.runScan({{247, 247}});

  EXPECT_EQ(rig.dialog.questions, (std::vector<QString>{msg::foundDeviceQuestion(247)}));
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{247}));
  EXPECT_EQ(rig.prepared, (std::vector<int>{247}));
  std::vector<std::string> ends;
  for (const auto& s : rig.statuses())
    if (s.rfind("Сканирование", 0) == 0) ends.push_back(s);
  EXPECT_EQ(ends, c.endMessages);
  EXPECT_EQ(rig.view.listEnabled, c.listEnabled);
  EXPECT_FALSE(rig.view.readTimer) << "the scan does not start again";
  EXPECT_EQ(rig.view.find, msg::findCaption());
}

INSTANTIATE_TEST_SUITE_P(Scan, DeviceAt247,
                         ::testing::Values(LateAnswerCase{"Yes",
                                                          Answer::Yes,
                                                          {"Сканирование завершено. Найдено 0 устройств"},
                                                          false},
                                           LateAnswerCase{"No",
                                                          Answer::No,
                                                          {"Сканирование завершено. Найдено 0 устройств",
                                                           "Сканирование завершено. Найдено 1 устройств"},
                                                          true}),
                         rowName);

TEST(Scan, StopWhileAnAnswerIsOnItsWay) {
  Rig rig;
  rig.clickFind();
  for (int i = 0; i < 5; ++i) rig.scanTick(0);
  rig.clickFind();
  EXPECT_EQ(rig.view.status, msg::scanFinished(0));
  rig.log.clear();

  rig.answer(5);

  EXPECT_EQ(rig.log, (CallLog{"timer off", listed(5), "timer off", question(5), "answer yes", "prepare 5"}));
  EXPECT_FALSE(rig.view.readTimer);
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{5}));
  EXPECT_EQ(rig.view.find, msg::findCaption());
}

// A find that leaves the scan stopped has readTimer off: a poll started in
// the meantime must get it back, once the find has stopped it for good.
TEST(Scan, AFindThatLeavesTheScanStoppedHandsTheTimerBackToThePoll) {
  struct Case {
    const char* name;
    bool stoppedFirst;  // "[Стоп]" pressed while the answer was on its way
    Answer answer;
    bool resumed;
  };
  for (const Case& c :
       {Case{"stopped, Да", true, Answer::Yes, true}, Case{"stopped, Нет", true, Answer::No, true},
        Case{"running, Да", false, Answer::Yes, false}, Case{"running, Нет", false, Answer::No, true}}) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.session.scan.setHooks(
        {.probed = {},
         .found = [&rig](int address) { rig.log.push_back("prepare " + std::to_string(address)); },
         .resumePoll = [&rig] { rig.log.push_back("resume poll"); }});
    rig.dialog.answers = {c.answer};
    rig.clickFind();
    for (int i = 0; i < 5; ++i) rig.scanTick(0);
    if (c.stoppedFirst) rig.clickFind();
    rig.log.clear();
    rig.answer(5);

    const auto at = [&rig](const std::string& line) {
      return std::find(rig.log.begin(), rig.log.end(), line);
    };
    EXPECT_EQ(at("resume poll") != rig.log.end(), c.resumed);
    if (c.resumed) {
      EXPECT_EQ(std::find(at("resume poll"), rig.log.end(), "timer off"), rig.log.end()) << "stopped after";
      EXPECT_EQ(at("resume poll") + 1, at("prepare 5"));
      EXPECT_EQ(rig.view.find, msg::findCaption());
    }
    EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{5}));
  }
}

TEST(Scan, StopStepsInOrder) {
  Rig rig;
  rig.clickFind();
  rig.runScan({{3, 3}}, 10);
  rig.log.clear();
  rig.clickFind();
  EXPECT_EQ(rig.log, (CallLog{"find Поиск", "timeouts on", "openclose on", "timer off", "list on",
                              "status Сканирование завершено. Найдено 1 устройств"}));
}

TEST(Scan, SecondScanEmptiesTheList) {
  Rig rig;
  rig.clickFind();
  rig.runScan({{3, 3}, {17, 17}});
  ASSERT_EQ(rig.listedCaptions().size(), 2);
  ASSERT_TRUE(rig.view.listEnabled);

  rig.clickFind();
  EXPECT_TRUE(rig.listedCaptions().isEmpty());
  EXPECT_TRUE(rig.state.FoundDevices.empty());
  rig.runScan();
  EXPECT_EQ(rig.view.status, msg::scanFinished(0));
  EXPECT_TRUE(rig.view.listEnabled) << "enabled since the first scan found something";
  EXPECT_EQ(rig.prepared, (std::vector<int>{3, 17})) << "nothing prepared by the empty scan";
}

TEST(Scan, RecordedMinuteIsOneMinuteBehind) {
  const std::pair<int, int> cases[] = {{0, 255}, {1, 0}, {30, 29}, {59, 58}};
  for (const auto& [minute, recorded] : cases) {
    Rig rig;
    rig.now = QDateTime(QDate(2024, 3, 1), QTime(23, minute, 59));
    rig.clickFind();
    rig.scanTick(0);
    rig.answer(1);
    ASSERT_EQ(rig.state.FoundDevices.size(), 1u);
    EXPECT_EQ(rig.state.FoundDevices[0].recordedMinute, recorded) << "minute " << minute;
  }
}

TEST(Scan, PollingStartedDuringAScanMakesItStandStill) {
  Rig rig;
  rig.clickFind();
  rig.scanTick(0);
  rig.scanTick(0);
  rig.state.PendingCommand = CmdReadCurrent;  // as the start of polling does
  const TxFrame before = rig.tx();
  rig.log.clear();

  for (int i = 0; i < 300; ++i) rig.scanTick(0);

  EXPECT_TRUE(rig.log.empty());
  EXPECT_EQ(rig.tx(), before);
  EXPECT_EQ(rig.session.scan.ScanAddress(), 3);
  EXPECT_EQ(rig.view.find, msg::stopCaption()) << "still running";

  rig.clickFind();
  EXPECT_EQ(rig.view.status, msg::scanFinished(0));
  EXPECT_EQ(rig.view.find, msg::findCaption());
  EXPECT_TRUE(rig.view.openCloseEnabled);
}

TEST(Scan, AddressChangeDuringAScanMakesItStandStillUntilStop) {
  Rig rig;
  rig.clickFind();
  rig.runScan({{3, 3}}, 5);
  ASSERT_EQ(rig.session.scan.ScanAddress(), 6);
  rig.view.setDigits("0", "0", "3");
  rig.view.setNewDigits("0", "0", "9");
  rig.clickInstallAdress();
  ASSERT_EQ(rig.state.PendingCommand, CmdSetAddress);
  const TxFrame change = rig.tx();
  EXPECT_EQ(change, buildAddressChangeRequest(3, 9));

  for (int i = 0; i < 300; ++i) rig.scanTick(0);
  EXPECT_EQ(rig.tx(), change);
  EXPECT_EQ(rig.session.scan.ScanAddress(), 6);

  rig.answer(3);
  EXPECT_EQ(rig.view.status, msg::addressChanged());
  EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{9}));
  EXPECT_EQ(rig.dialog.questions.size(), 1u) << "the acknowledgement is no find";
  EXPECT_TRUE(rig.view.readTimer);
  EXPECT_EQ(rig.view.find, msg::stopCaption());

  rig.clickFind();
  EXPECT_EQ(rig.view.status, msg::scanFinished(1));
  EXPECT_FALSE(rig.view.readTimer);
}

struct RouteCase {
  const char* name;
  BusRequest::Kind request;
  int status;
  const char* outcome;  // "ack", "nothing", "find"
};

class ShortAnswerRoutes : public ::testing::TestWithParam<RouteCase> {};

TEST_P(ShortAnswerRoutes, ByRequestAndStatus) {
  const RouteCase& c = GetParam();
  Rig rig;
  rig.state.FoundDevices = {{4, 7}};
  rig.state.SelectedAddress = 4;
  rig.view.setDigits("0", "0", "4");
  rig.view.setNewDigits("0", "0", "8");
  rig.clickInstallAdress();  // NewAddress 8
  rig.log.clear();

  const BusRequest request =
      c.request == BusRequest::Kind::SetAddress ? BusRequest::setAddress(4, 8) : BusRequest::probe(11);
  rig.session.replied({.request = request,
                       .kind = BusReply::Kind::Answered,
                       .status = StatusResponse{11, static_cast<std::uint8_t>(request.command()),
                                                static_cast<std::uint8_t>(c.status)}});

  const std::string outcome = c.outcome;
  if (outcome == "ack") {
    EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{8}));
    EXPECT_EQ(rig.view.status, msg::addressChanged());
  } else if (outcome == "find") {
    EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{4, 11}));
    EXPECT_EQ(rig.dialog.questions.size(), 1u);
  } else {
    EXPECT_TRUE(rig.log.empty());
    EXPECT_EQ(rig.foundAddresses(), (std::vector<int>{4}));
    EXPECT_EQ(rig.state.SelectedAddress, 4);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scan, ShortAnswerRoutes,
    ::testing::Values(RouteCase{"ChangeAcknowledged", BusRequest::Kind::SetAddress, 0, "ack"},
                      RouteCase{"ChangeRefused", BusRequest::Kind::SetAddress, 1, "nothing"},
                      RouteCase{"ProbeAnswered", BusRequest::Kind::Probe, 0, "find"},
                      RouteCase{"ProbeRefused", BusRequest::Kind::Probe, 5, "nothing"}),
    rowName);

}  // namespace
}  // namespace rs485::test
