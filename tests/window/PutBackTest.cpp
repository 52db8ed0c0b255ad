// Tests that what a test changes outside its folders is put back however the
// test ends: a test program started from here changes it and is ended from
// outside, and a fresh one shows what is there then.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PutBack.h"
#include "TestSupport.h"

namespace {

// Set for a test program started by the test below: "hold PID" or "show".
const char kChildVariable[] = "DEVICELIST_TEST_CHILD";

std::string ChildMode() {
  char mode[64];
  const DWORD length = GetEnvironmentVariableA(kChildVariable, mode, sizeof mode);
  return length > 0 && length < sizeof mode ? std::string(mode, length) : std::string();
}

// The folder of the test's files.
std::wstring ChildFolder() {
  const std::wstring folder = ProgramFolder() + L"stage\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"put-back").c_str(), nullptr);
  return folder + L"put-back\\";
}

std::wstring HoldingEventName(DWORD parent) {
  return L"Local\\DeviceList tests holding for " + std::to_wstring(parent);
}

// Both settings as this process finds them, and whether the file that the
// child places is there: one line each.
std::string SessionNow() {
  const bool placed = GetFileAttributesW((ChildFolder() + L"placed").c_str()) != INVALID_FILE_ATTRIBUTES;
  return kMessageFontSetting.show(kMessageFontSetting.read()) + "\n" +
         kScreenReaderSetting.show(kScreenReaderSetting.read()) + "\n" + (placed ? "placed" : "not placed") + "\n";
}

NONCLIENTMETRICSW MetricsNow() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return metrics;
}

// As a test that changes both: a message font 7 pixels taller, the
// screen-reader flag turned over.
NONCLIENTMETRICSW HeldMetrics(NONCLIENTMETRICSW metrics) {
  metrics.lfMessageFont.lfHeight = -(std::abs(metrics.lfMessageFont.lfHeight) + 7);
  return metrics;
}

BOOL ScreenReaderOn() {
  BOOL on = FALSE;
  SystemParametersInfoW(SPI_GETSCREENREADER, 0, &on, 0);
  return on;
}

// The child's part: changes both settings and places two files (for the
// Windows folder of a test, the test's own folder does), says so, and holds
// them until it is ended from outside; where the test that started it is
// gone first, it puts them back as any test does.
class HoldTheChanges : public ::testing::Test {
  void TestBody() override {
    const DWORD parent = static_cast<DWORD>(std::strtoul(ChildMode().c_str() + 5, nullptr, 10));
    HANDLE parentProcess = OpenProcess(SYNCHRONIZE, FALSE, parent);
    ASSERT_NE(parentProcess, nullptr) << "the test that started this one";
    SessionSettingChange font(kMessageFontSetting, MetricsValue(HeldMetrics(MetricsNow())));
    SessionSettingChange reader(kScreenReaderSetting, FlagValue(!ScreenReaderOn()));
    const PlacedFile placed(ChildFolder() + L"source", ChildFolder() + L"placed");
    const PlacedFile replaced(ChildFolder() + L"source", ChildFolder() + L"replaced");
    ASSERT_TRUE(placed.Placed() && replaced.Placed());
    HANDLE holding = OpenEventW(EVENT_MODIFY_STATE, FALSE, HoldingEventName(parent).c_str());
    ASSERT_NE(holding, nullptr);
    SetEvent(holding);
    CloseHandle(holding);
    WaitForSingleObject(parentProcess, 60000);
    CloseHandle(parentProcess);
  }
};

// The child's part: writes what SessionNow says as a fresh program finds it,
// once the test program's start has put back what it puts back.
class ShowTheChanges : public ::testing::Test {
  void TestBody() override { WriteText(ChildFolder() + L"session.txt", SessionNow()); }
};

// Registered only in a test program started as a child: in no listing, so
// CTest and the Windows kit never run them on their own.
const bool kChildRegistered = [] {
  const std::string mode = ChildMode();
  if (mode.compare(0, 5, "hold ") == 0) {
    ::testing::RegisterTest("PutBackChild", "HoldTheChanges", nullptr, nullptr, __FILE__, __LINE__,
                            []() -> ::testing::Test* { return new HoldTheChanges; });
  } else if (mode == "show") {
    ::testing::RegisterTest("PutBackChild", "ShowTheChanges", nullptr, nullptr, __FILE__, __LINE__,
                            []() -> ::testing::Test* { return new ShowTheChanges; });
  }
  return !mode.empty();
}();

// This test program, started again with the mode, its output in a file of
// the test's own folder named after the mode.
class Child {
 public:
  Child(const std::string& mode, DWORD flags)
      : log_(ChildFolder() + std::wstring(mode.begin(), mode.begin() + 4) + L".log") {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE log = CreateFileW(log_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = log;
    startup.hStdError = log;
    std::wstring command = L"\"" + ProgramFolder() + L"window_tests.exe\" --gtest_filter=PutBackChild.*";
    SetEnvironmentVariableA(kChildVariable, mode.c_str());
    started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, flags, nullptr, ProgramFolder().c_str(),
                              &startup, &process_) != FALSE;
    SetEnvironmentVariableA(kChildVariable, nullptr);
    CloseHandle(log);
  }
  ~Child() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 10000);
      // What the child held, this test program puts back itself.
      PutBackWhatEndedTestsLeft();
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return started_; }
  HANDLE Process() const { return process_.hProcess; }
  DWORD Pid() const { return process_.dwProcessId; }
  bool Ended(DWORD timeoutMs = 30000) const { return WaitForSingleObject(process_.hProcess, timeoutMs) == 0; }
  std::string Output() const {
    std::string text;
    for (const std::string& line : ReadLines(log_)) text += "\n  | " + line;
    return text;
  }

 private:
  std::wstring log_;
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
};

// Both settings as a test program that starts now finds them, and what its
// start put back.
std::string SessionAsANewTestProgramSeesIt(std::string& output) {
  const std::wstring file = ChildFolder() + L"session.txt";
  DeleteFileW(file.c_str());
  Child show("show", 0);
  if (!show.Started() || !show.Ended()) return "(the test program did not start or end)";
  output = show.Output();
  std::string text;
  for (const std::string& line : ReadLines(file)) text += line + "\n";
  return text;
}

// A test program that changed the message font and the screen-reader flag
// and placed two files, and is killed, as CTest kills one out of time,
// leaves it all changed and written down until the next test program
// starts, which puts the settings back and removes the file it placed, but
// not the one that someone else wrote over meanwhile; one that starts while
// the change is held leaves it alone. Ended by Ctrl+Break, the test program
// does the same itself.
TEST(PutBack, SessionSettingsAndFilesAreBackHoweverATestProgramEnds) {
  const std::wstring placed = ChildFolder() + L"placed";
  const std::wstring replaced = ChildFolder() + L"replaced";
  DeleteFileW(placed.c_str());
  const std::string before = SessionNow();
  const std::string held = kMessageFontSetting.show(MetricsValue(HeldMetrics(MetricsNow()))) + "\n" +
                           kScreenReaderSetting.show(FlagValue(!ScreenReaderOn())) + "\nplaced\n";
  ASSERT_FALSE(SettingRecorded(kMessageFontSetting)) << "a change was written down before the test";
  WriteText(ChildFolder() + L"source", "placed by the test\r\n");
  const struct {
    const char* end;
    bool breakKey;
  } cases[] = {{"killed", false}, {"ended by Ctrl+Break", true}};
  // Ctrl+Break goes only to a process that shares this one's console. Wine
  // started from a script gives a test program none, and one of its own
  // (AllocConsole) passes no control events either.
  DWORD attached = 0;
  const bool console = GetConsoleProcessList(&attached, 1) > 0;
  std::string leftOut;
  for (const auto& c : cases) {
    if (c.breakKey && !console) {
      leftOut = "Ctrl+Break: this test program has no console to send it through; the kill is tested";
      continue;
    }
    DeleteFileW(placed.c_str());
    DeleteFileW(replaced.c_str());
    HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, HoldingEventName(GetCurrentProcessId()).c_str());
    ASSERT_NE(holding, nullptr);
    Child holder("hold " + std::to_string(GetCurrentProcessId()), c.breakKey ? CREATE_NEW_PROCESS_GROUP : 0);
    ASSERT_TRUE(holder.Started()) << c.end;
    const HANDLE either[] = {holding, holder.Process()};
    const DWORD woke = WaitForMultipleObjects(2, either, FALSE, 30000);
    CloseHandle(holding);
    ASSERT_EQ(woke, WAIT_OBJECT_0) << c.end
                                   << ": the test program never held the change; its output:" << holder.Output();

    std::string output;
    EXPECT_EQ(SessionAsANewTestProgramSeesIt(output), held)
        << c.end << ": a test program started while another holds a change; its output:" << output;
    WriteText(replaced, "written over by someone else\r\n");

    if (c.breakKey) {
      ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, holder.Pid()))
          << c.end << ": error " << GetLastError() << " sending it";
      ASSERT_TRUE(holder.Ended()) << c.end << ": the test program did not end";
      EXPECT_FALSE(SettingRecorded(kMessageFontSetting)) << c.end << ": the message font is still written down";
      EXPECT_FALSE(SettingRecorded(kScreenReaderSetting)) << c.end << ": the flag is still written down";
    } else {
      TerminateProcess(holder.Process(), 1);
      ASSERT_TRUE(holder.Ended()) << c.end;
      EXPECT_TRUE(SettingRecorded(kMessageFontSetting)) << c.end << ": the message font was not written down";
      EXPECT_TRUE(SettingRecorded(kScreenReaderSetting)) << c.end << ": the flag was not written down";
    }
    EXPECT_EQ(SessionAsANewTestProgramSeesIt(output), before)
        << c.end << ": the next test program's start; its output:" << output;
    EXPECT_EQ(output.find("[ PUT BACK ]") != std::string::npos, !c.breakKey)
        << c.end << ": what the next test program's start put back:" << output;
    EXPECT_EQ(ReadLines(replaced), std::vector<std::string>{"written over by someone else"})
        << c.end << ": the placed file that someone else wrote over";
    EXPECT_FALSE(SettingRecorded(kMessageFontSetting)) << c.end << ": the record stays";
  }
  if (!leftOut.empty()) GTEST_SKIP() << leftOut;
}

}  // namespace
