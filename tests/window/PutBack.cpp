// Writes down, puts back and removes what a test changes outside its own
// folders (PutBack.h).
#include "PutBack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace {

// The record, under HKEY_CURRENT_USER: it exists only while a test has
// something to put back. Settings in a volatile key, which ends with the
// session as a change of the session's does; placed files in a lasting one,
// as the files last.
const wchar_t kRecordKey[] = L"Software\\DeviceList tests";
const wchar_t kSettingsKey[] = L"Session settings";
const wchar_t kFilesKey[] = L"Placed files";

// The process that made a change: its id, and its start, since an id is
// given again once its process has ended.
struct Owner {
  DWORD pid = 0;
  FILETIME started = {};
};

bool StartOf(HANDLE process, FILETIME& started) {
  FILETIME exited, kernel, user;
  return GetProcessTimes(process, &started, &exited, &kernel, &user) != FALSE;
}

Owner ThisProcess() {
  Owner owner;
  owner.pid = GetCurrentProcessId();
  StartOf(GetCurrentProcess(), owner.started);
  return owner;
}

bool IsThisProcess(const Owner& owner) {
  const Owner self = ThisProcess();
  return owner.pid == self.pid && CompareFileTime(&owner.started, &self.started) == 0;
}

// Whether the process that made the change still runs. One that cannot be
// opened is not a test program of this user's.
bool StillRuns(const Owner& owner) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, owner.pid);
  if (!process) return false;
  FILETIME started = {};
  const bool same = StartOf(process, started) && CompareFileTime(&started, &owner.started) == 0;
  const bool runs = same && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

bool HasEnded(const Owner& owner) {
  return !StillRuns(owner);
}

// A record's data: the owner, then what the change needs put back.
std::vector<BYTE> Pack(const Owner& owner, const std::vector<BYTE>& payload) {
  std::vector<BYTE> data(sizeof owner.pid + sizeof owner.started);
  std::memcpy(data.data(), &owner.pid, sizeof owner.pid);
  std::memcpy(data.data() + sizeof owner.pid, &owner.started, sizeof owner.started);
  data.insert(data.end(), payload.begin(), payload.end());
  return data;
}

bool Unpack(const std::vector<BYTE>& data, Owner& owner, std::vector<BYTE>& payload) {
  const std::size_t head = sizeof owner.pid + sizeof owner.started;
  if (data.size() < head) return false;
  std::memcpy(&owner.pid, data.data(), sizeof owner.pid);
  std::memcpy(&owner.started, data.data() + sizeof owner.pid, sizeof owner.started);
  payload.assign(data.begin() + static_cast<std::ptrdiff_t>(head), data.end());
  return true;
}

// The record's key for one kind, made where `create` asks: the top key
// always lasting, so that the lasting kind may go under it.
HKEY OpenKind(const wchar_t* kind, bool create, DWORD options) {
  HKEY top = nullptr;
  const LONG opened = create ? RegCreateKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_ALL_ACCESS, nullptr, &top, nullptr)
                             : RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_ALL_ACCESS, &top);
  if (opened != ERROR_SUCCESS) return nullptr;
  HKEY key = nullptr;
  const LONG found = create ? RegCreateKeyExW(top, kind, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                            : RegOpenKeyExW(top, kind, 0, KEY_ALL_ACCESS, &key);
  RegCloseKey(top);
  return found == ERROR_SUCCESS ? key : nullptr;
}

bool WriteRecord(const wchar_t* kind, DWORD options, const std::wstring& name, const std::vector<BYTE>& data) {
  HKEY key = OpenKind(kind, true, options);
  if (!key) return false;
  const LONG written = RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return written == ERROR_SUCCESS;
}

std::vector<std::pair<std::wstring, std::vector<BYTE>>> ReadRecords(const wchar_t* kind) {
  std::vector<std::pair<std::wstring, std::vector<BYTE>>> records;
  HKEY key = OpenKind(kind, false, 0);
  if (!key) return records;
  for (DWORD i = 0;; ++i) {
    wchar_t name[1024];
    DWORD nameLength = 1024;
    DWORD size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size);
    nameLength = 1024;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS) break;
    data.resize(size);
    records.emplace_back(std::wstring(name, nameLength), data);
  }
  RegCloseKey(key);
  return records;
}

bool ReadRecord(const wchar_t* kind, const std::wstring& name, Owner& owner, std::vector<BYTE>& payload) {
  for (const auto& record : ReadRecords(kind)) {
    if (_wcsicmp(record.first.c_str(), name.c_str()) == 0) return Unpack(record.second, owner, payload);
  }
  return false;
}

// Removes the entry, and the keys that it leaves empty: nothing stays behind.
void Forget(const wchar_t* kind, const std::wstring& name) {
  HKEY key = OpenKind(kind, false, 0);
  if (!key) return;
  RegDeleteValueW(key, name.c_str());
  DWORD values = 0;
  const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                     values == 0;
  RegCloseKey(key);
  if (!empty) return;
  HKEY top = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_ALL_ACCESS, &top) != ERROR_SUCCESS) return;
  RegDeleteKeyW(top, kind);
  DWORD subkeys = 0;
  const bool topEmpty = RegQueryInfoKeyW(top, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                        subkeys == 0 && values == 0;
  RegCloseKey(top);
  if (topEmpty) RegDeleteKeyW(HKEY_CURRENT_USER, kRecordKey);
}

// Held while a change and its record are made or undone, by the console
// handler's thread too.
CRITICAL_SECTION& Lock() {
  static struct Section {
    Section() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
  } lock;
  return lock.section;
}

class Locked {
 public:
  Locked() { EnterCriticalSection(&Lock()); }
  ~Locked() { LeaveCriticalSection(&Lock()); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

std::vector<char> ReadAll(const std::wstring& path) {
  std::vector<char> bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return bytes;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return bytes;
}

// FNV-1a, 64 bits: enough to tell the file placed from any other.
unsigned long long Checksum(const std::vector<char>& bytes) {
  unsigned long long hash = 14695981039346656037ull;
  for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

std::vector<BYTE> ChecksumValue(const std::vector<char>& bytes) {
  const unsigned long long sum = Checksum(bytes);
  std::vector<BYTE> value(sizeof sum);
  std::memcpy(value.data(), &sum, sizeof sum);
  return value;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

enum class Removal { kRemoved, kGone, kReplaced, kInUse };

// Removes the placed file where it still holds the bytes placed.
Removal RemoveIfUnchanged(const std::wstring& path, const std::vector<BYTE>& checksum) {
  if (!Exists(path)) return Removal::kGone;
  if (ChecksumValue(ReadAll(path)) != checksum) return Removal::kReplaced;
  // A library still loaded by a program that has not ended yet cannot go.
  return DeleteFileW(path.c_str()) ? Removal::kRemoved : Removal::kInUse;
}

const SessionSetting* const kSettings[] = {&kMessageFontSetting, &kScreenReaderSetting};

// Puts back every recorded change whose maker `matches`.
std::vector<std::string> PutBackChangesOf(bool (*matches)(const Owner&)) {
  std::vector<std::string> done;
  Locked locked;
  for (const auto& record : ReadRecords(kSettingsKey)) {
    Owner owner;
    std::vector<BYTE> value;
    if (!Unpack(record.second, owner, value) || !matches(owner)) continue;
    for (const SessionSetting* setting : kSettings) {
      if (record.first != setting->name) continue;
      setting->write(value);
      Forget(kSettingsKey, record.first);
      done.push_back(setting->show(value) + " again, as before test program " + std::to_string(owner.pid) +
                     " changed it");
    }
  }
  for (const auto& record : ReadRecords(kFilesKey)) {
    Owner owner;
    std::vector<BYTE> checksum;
    if (!Unpack(record.second, owner, checksum) || !matches(owner)) continue;
    const std::string path = Narrow(record.first);
    switch (RemoveIfUnchanged(record.first, checksum)) {
      case Removal::kRemoved:
        done.push_back("removed " + path + ", placed by test program " + std::to_string(owner.pid));
        break;
      case Removal::kReplaced:
        done.push_back("left " + path + " as it is: it changed since test program " + std::to_string(owner.pid) +
                       " placed it");
        break;
      case Removal::kGone:
        break;
      case Removal::kInUse:
        done.push_back("could not remove " + path + " yet (in use): the next test program tries again");
        continue;  // still written down
    }
    Forget(kFilesKey, record.first);
  }
  return done;
}

void Report(const std::vector<std::string>& lines) {
  // On the error stream: the test listing that CTest reads stays a listing.
  for (const std::string& line : lines) std::fprintf(stderr, "[ PUT BACK ] %s\n", line.c_str());
  std::fflush(stderr);
}

// Ctrl+C, Ctrl+Break, or the console closed: the test program is about to
// end, and no destructor of the test that runs will.
BOOL WINAPI OnConsoleEnd(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  // Taken first and held until the process ends: no test changes a setting
  // after this.
  EnterCriticalSection(&Lock());
  Report(PutBackChangesOf(IsThisProcess));
  return FALSE;  // the default handler ends the process
}

// As every test program starts, before its tests.
struct StartUp {
  StartUp() {
    SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
    Report(PutBackWhatEndedTestsLeft());
  }
} gStartUp;

std::vector<BYTE> ReadMetrics() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return MetricsValue(metrics);
}

void WriteMetrics(const std::vector<BYTE>& value) {
  NONCLIENTMETRICSW metrics = {};
  if (value.size() != sizeof metrics) return;
  std::memcpy(&metrics, value.data(), sizeof metrics);
  // 0: for this session only, not written to the user's profile, and not
  // announced: the test tells its own window.
  SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
}

std::string ShowMetrics(const std::vector<BYTE>& value) {
  NONCLIENTMETRICSW metrics = {};
  if (value.size() != sizeof metrics) return "the message font (unreadable record)";
  std::memcpy(&metrics, value.data(), sizeof metrics);
  return "the message font " + Narrow(metrics.lfMessageFont.lfFaceName) + " " +
         std::to_string(metrics.lfMessageFont.lfHeight);
}

std::vector<BYTE> ReadFlag() {
  BOOL on = FALSE;
  SystemParametersInfoW(SPI_GETSCREENREADER, 0, &on, 0);
  return FlagValue(on);
}

BOOL FlagOf(const std::vector<BYTE>& value) {
  BOOL on = FALSE;
  if (value.size() == sizeof on) std::memcpy(&on, value.data(), sizeof on);
  return on;
}

void WriteFlag(const std::vector<BYTE>& value) {
  const BOOL on = FlagOf(value);
  SystemParametersInfoW(SPI_SETSCREENREADER, on, nullptr, SPIF_SENDCHANGE);
  // Windows announces the change to every window; Wine does not, so the
  // announcement a screen reader's start makes is sent here too.
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETSCREENREADER, 0, SMTO_ABORTIFHUNG, 5000, &result);
}

std::string ShowFlag(const std::vector<BYTE>& value) {
  return FlagOf(value) ? "the screen-reader flag on" : "the screen-reader flag off";
}

}  // namespace

const SessionSetting kMessageFontSetting = {L"MessageFont", ReadMetrics, WriteMetrics, ShowMetrics};
const SessionSetting kScreenReaderSetting = {L"ScreenReader", ReadFlag, WriteFlag, ShowFlag};

std::vector<BYTE> MetricsValue(const NONCLIENTMETRICSW& metrics) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&metrics);
  return std::vector<BYTE>(bytes, bytes + sizeof metrics);
}

std::vector<BYTE> FlagValue(BOOL on) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&on);
  return std::vector<BYTE>(bytes, bytes + sizeof on);
}

SessionSettingChange::SessionSettingChange(const SessionSetting& setting, const std::vector<BYTE>& value)
    : setting_(setting) {
  // A change that a program left behind as it ended goes back first, so
  // that the value found is the user's.
  Report(PutBackWhatEndedTestsLeft());
  Locked locked;
  before_ = setting.read();
  Owner owner;
  std::vector<BYTE> recorded;
  // Where a change of this test program's own is recorded already, that
  // record holds the user's value and stays; otherwise it is written before
  // the change, so that a kill between the two leaves only an unchanged
  // setting to put back.
  if (!ReadRecord(kSettingsKey, setting.name, owner, recorded)) {
    recorded_ = WriteRecord(kSettingsKey, REG_OPTION_VOLATILE, setting.name, Pack(ThisProcess(), before_));
    if (!recorded_) {
      pending_ = false;
      ADD_FAILURE() << "cannot write down " << setting.show(before_) << " under HKEY_CURRENT_USER\\"
                    << Narrow(kRecordKey) << ": the setting is left as it is";
      return;
    }
  }
  setting.write(value);
}

SessionSettingChange::~SessionSettingChange() {
  PutBack();
}

void SessionSettingChange::PutBack() {
  Locked locked;
  if (!pending_) return;
  pending_ = false;
  setting_.write(before_);
  if (recorded_) Forget(kSettingsKey, setting_.name);
}

PlacedFile::PlacedFile(const std::wstring& source, const std::wstring& target) : target_(target) {
  const std::vector<char> bytes = ReadAll(source);
  if (bytes.empty() || Exists(target)) return;
  checksum_ = ChecksumValue(bytes);
  Locked locked;
  if (!WriteRecord(kFilesKey, REG_OPTION_NON_VOLATILE, target, Pack(ThisProcess(), checksum_))) return;
  // Fails where a file came in the meantime: never over one.
  placed_ = CopyFileW(source.c_str(), target.c_str(), TRUE) != FALSE;
  if (!placed_) Forget(kFilesKey, target);
}

PlacedFile::~PlacedFile() {
  if (!placed_) return;
  Locked locked;
  // One in use stays written down, for the next test program to remove.
  if (RemoveIfUnchanged(target_, checksum_) != Removal::kInUse) Forget(kFilesKey, target_);
}

std::vector<std::string> PutBackWhatEndedTestsLeft() {
  return PutBackChangesOf(HasEnded);
}

bool SettingRecorded(const SessionSetting& setting) {
  Owner owner;
  std::vector<BYTE> value;
  return ReadRecord(kSettingsKey, setting.name, owner, value);
}

std::string Fingerprint(const std::vector<char>& bytes) {
  char sum[24];
  std::snprintf(sum, sizeof sum, "%016llx", Checksum(bytes));
  return std::to_string(bytes.size()) + " bytes, checksum " + sum;
}
