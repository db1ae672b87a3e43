// Port names and process names as Windows gives them, under wine with the
// COM mapping of scripts/windows-port-tests: COM1..COM5 and COM12, which
// wine lists as ports whatever they lead to. COM7 is mapped to nothing and
// only looked up, never opened.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "link/append_file.h"
#include "link/code_page.h"
#include "link/port_names.h"
#include "link/processes.h"
#include "link/win32_serial_port.h"

namespace rs485 {
namespace {

TEST(Win32Text, Utf8RoundTrip) {
  const std::string text = "\xd0\x9f\xd0\xbe\xd1\x80\xd1\x82 COM1";  // "Порт COM1"
  const std::wstring wide = wideFromUtf8(text);
  EXPECT_EQ(wide, L"\u041f\u043e\u0440\u0442 COM1");
  EXPECT_EQ(utf8FromWide(wide), text);
}

// What Windows' own conversions do, which the recording's code page
// (monitor/cp1251_win32.cpp) builds on: no look-alikes, one replacement per
// UTF-16 unit, and the unassigned 0x98 passed through as U+0098.
TEST(Win32Text, CodePage1251AsWindowsConvertsIt) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  for (const Case& c : {
           Case{u"Номер устройства", "\xCD\xEE\xEC\xE5\xF0 \xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0"},
           Case{u"Ёё°№", "\xA8\xB8\xB0\xB9"},
           Case{u"ä你", "??"},         // no best fit: "ä" is not "a"
           Case{u"\U0001F600", "??"},  // a surrogate pair: two units, two replacements
           Case{u"\u0098", "\x98"},
           Case{u"", ""},
       }) {
    EXPECT_EQ(toCodePage(c.text, 1251, '?'), c.bytes) << c.bytes;
  }
  EXPECT_EQ(fromCodePage("\xCD\xEE\xEC\xE5\xF0", 1251), u"Номер");
  EXPECT_EQ(fromCodePage("\x98", 1251), u"\u0098");
}

TEST(Win32Text, ShortDatePictureOfALocale) {
  EXPECT_EQ(shortDatePicture(u"ru-RU"), u"dd.MM.yyyy");
  EXPECT_EQ(shortDatePicture(u"en-US"), u"M/d/yyyy");
  EXPECT_TRUE(shortDatePicture(u"xx-XX-invalid").empty());
  EXPECT_FALSE(shortDatePicture({}).empty()) << "the user's own locale";
}

class Win32Names : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("RS485_WINE_FOLDER") == nullptr)
      GTEST_SKIP() << "runs under scripts/windows-port-tests only";
  }
};

TEST_F(Win32Names, PortsAreWhatWindowsListsInComOrder) {
  const PortNames names;
  EXPECT_EQ(names.presentDevices(),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM12"}));
  struct Case {
    std::string name;
    std::optional<std::string> path;
  };
  for (const Case& c : {Case{"COM1", "COM1"}, Case{"COM12", "COM12"}, Case{"COM7", std::nullopt},
                        Case{"COM01", std::nullopt}, Case{"LPT1", std::nullopt}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(names.resolve(c.name), c.path);
    EXPECT_EQ(names.stablePath(c.name), c.path);  // the name stays with the adapter
  }
  const PortNames mapped(std::map<std::string, std::string>{{"COM4", "COM12"}});
  EXPECT_EQ(mapped.resolve("COM4"), "COM12");
}

TEST_F(Win32Names, ProcessesByTheirExecutablesName) {
  struct Case {
    std::string name;
    bool running;
  };
  for (const Case& c : {Case{"windows_port_tests", true}, Case{"WINDOWS_PORT_TESTS.EXE", true},
                        Case{"windows_port", false}, Case{"no-such-program", false}, Case{"", false}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(processRunning(c.name), c.running);
  }
}

// Recording files: created when missing, appended to and never truncated,
// by a name in UTF-8 that the ANSI code page could not hold.
TEST(Win32Files, AppendFileAddsAtTheEndOnly) {
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
  const std::string path =
      utf8FromWide(folder) + "\xd0\x97\xd0\xb0\xd0\xbf\xd0\xb8\xd1\x81\xd1\x8c 3.txt";  // "Запись 3.txt"
  DeleteFileW(wideFromUtf8(path).c_str());
  {
    AppendFile file(path);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.empty());
    EXPECT_TRUE(file.append(std::string_view("first\r\n")));
    EXPECT_FALSE(file.empty());
  }
  {
    AppendFile again(path);
    ASSERT_TRUE(again.isOpen());
    EXPECT_TRUE(again.append(std::string_view("second\r\n")));
  }
  std::ifstream in(std::filesystem::path(wideFromUtf8(path)), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "first\r\nsecond\r\n");
  in.close();
  EXPECT_TRUE(DeleteFileW(wideFromUtf8(path).c_str()));
  EXPECT_FALSE(AppendFile(utf8FromWide(folder) + "no-such-folder\\file.txt").isOpen());
}

}  // namespace
}  // namespace rs485
