// What a test changes outside its own folders, put back however the test
// ends: a session-wide setting, or a file written where the machine keeps
// its own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A session-wide setting: its name in the record and in messages, and how
// the system reads and writes it.
struct SessionSetting {
  const wchar_t* name;
  std::vector<BYTE> (*read)();
  void (*write)(const std::vector<BYTE>& value);
  std::string (*show)(const std::vector<BYTE>& value);
};

// The non-client metrics with the message font (NONCLIENTMETRICSW), changed
// for the session only: never written to the user's profile.
extern const SessionSetting kMessageFontSetting;
// The screen-reader flag (a BOOL), announced to every window as a screen
// reader announces it.
extern const SessionSetting kScreenReaderSetting;

std::vector<BYTE> MetricsValue(const NONCLIENTMETRICSW& metrics);
std::vector<BYTE> FlagValue(BOOL on);

// Changes a session-wide setting while it lives. The value found is written
// down before the change, in a volatile key under HKEY_CURRENT_USER, which
// the session takes with it as it takes the change itself (a change not
// written to the profile; under Wine the session is the prefix's wineserver).
// It is put back by the destructor (or PutBack) when the test ends or fails;
// by a console control handler when Ctrl+C, Ctrl+Break or a closed console
// ends the test; and by the next test program to start where the test was
// killed, as CTest kills one that runs out of time: then no destructor and no
// handler runs. A test program that starts while the one that made the
// change still runs leaves it alone.
class SessionSettingChange {
 public:
  SessionSettingChange(const SessionSetting& setting, const std::vector<BYTE>& value);
  ~SessionSettingChange();
  SessionSettingChange(const SessionSettingChange&) = delete;
  SessionSettingChange& operator=(const SessionSettingChange&) = delete;

  // Puts back the value found, now; once.
  void PutBack();

 private:
  const SessionSetting& setting_;
  std::vector<BYTE> before_;
  bool recorded_ = false;  // this change wrote the record, so it removes it
  bool pending_ = true;
};

// A copy of `source` at `target`, outside the test's own folders (the
// Windows folder's QZ_USB.DLL), made only where no file is there: a file of
// the machine's own is never overwritten. Written down before the copy, and
// removed when the guard goes, or by the next test program to start after a
// kill, only while it still holds the bytes copied: a file that someone
// replaced in the meantime stays.
class PlacedFile {
 public:
  PlacedFile(const std::wstring& source, const std::wstring& target);
  ~PlacedFile();
  PlacedFile(const PlacedFile&) = delete;
  PlacedFile& operator=(const PlacedFile&) = delete;

  // False where a file was there already, or the copy failed.
  bool Placed() const { return placed_; }

 private:
  std::wstring target_;
  std::vector<BYTE> checksum_;
  bool placed_ = false;
};

// What test programs that ended without putting back left changed (by a
// kill): put back now, one line each saying what. Runs as every test program
// starts; what a running test program changed stays.
std::vector<std::string> PutBackWhatEndedTestsLeft();

// The record itself, as a test of the above reads it: whether one is written
// down now for the setting.
bool SettingRecorded(const SessionSetting& setting);

// Size and a checksum, to compare files byte for byte in a message.
std::string Fingerprint(const std::vector<char>& bytes);
