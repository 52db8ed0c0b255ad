// The worst-case click on a real window (32 ascending numbers in each list:
// 993 yields per ordering pass, and one after each library call), against
// two floors:
//   yields     as many empty yields, 1,988, on the same window;
//   same work  the yields, the two library calls, the two clears and each
//              pane's 32 entries composed and written in one
//              read-append-replace cycle, on two plain edit controls of the
//              same size, style and font in a window of their own: no
//              subclass of the program's, no guarded call.
//   ClickBench RUNS
// Needs the simulated QZ_USB.DLL beside it; writes its scenario file there.
// Prints one line each for click, yields and same work: median, min, max (ms).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "window/Form1.h"
#include "window/MessagePump.h"
#include "window/Resource.h"

namespace {

const int kYieldsPerPass = 993;

double Seconds() {
  LARGE_INTEGER f, now;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(f.QuadPart);
}

std::wstring Folder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// A new scenario for every run, so that each starts again at its first table.
void WriteScenario(int run) {
  FILE* file = _wfopen((Folder() + L"QZ_SIM.TXT").c_str(), L"wb");
  if (!file) return;
  std::fprintf(file, "# run %d\ntable", run);
  for (int n = 1; n <= 32; ++n) std::fprintf(file, " %d", n);
  std::fputs("\ntable", file);
  for (int n = 1; n <= 32; ++n) std::fprintf(file, " %d", n - 32768);
  std::fputs("\n", file);
  std::fclose(file);
}

void Print(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  std::printf("%.2f %.2f %.2f\n", median, v.front(), v.back());
}

using EntryPoint = std::uint32_t(WINAPI*)(std::int16_t* table, std::int32_t selector);

void Empty(HWND pane) {
  SetWindowTextW(pane, L"");
}

// The 32 entries composed, then one read-append-replace cycle.
void Entries(HWND pane) {
  wchar_t entries[256];
  int used = 0;
  for (int n = 1; n <= 32; ++n) used += std::swprintf(entries + used, 256 - static_cast<std::size_t>(used), L"%d, ", n);
  static wchar_t text[1024];
  const int length = GetWindowTextW(pane, text, 1000);
  std::swprintf(text + length, 1024 - static_cast<std::size_t>(length), L"%ls", entries);
  SetWindowTextW(pane, text);
}

// Two panes as the program's, without anything of the program.
struct PlainPanes {
  HWND window = nullptr;
  HWND upper = nullptr;
  HWND lower = nullptr;
};

PlainPanes CreatePlainPanes(HWND form) {
  PlainPanes plain;
  RECT frame;
  GetWindowRect(form, &frame);
  plain.window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, frame.right, frame.top,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  HWND* panes[] = {&plain.upper, &plain.lower};
  const int ids[] = {IDC_TXTMSGDISPLAY, IDC_TXTMSGDISPLAY2};
  for (int i = 0; i < 2; ++i) {
    HWND model = GetDlgItem(form, ids[i]);
    RECT r;
    GetWindowRect(model, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    *panes[i] = CreateWindowExW(static_cast<DWORD>(GetWindowLongW(model, GWL_EXSTYLE)), L"EDIT", L"",
                                static_cast<DWORD>(GetWindowLongW(model, GWL_STYLE)), r.left, r.top, r.right - r.left,
                                r.bottom - r.top, plain.window, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(*panes[i], WM_SETFONT, SendMessageW(model, WM_GETFONT, 0, 0), FALSE);
  }
  return plain;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  Form1 form;
  if (!form.Create(GetModuleHandleW(nullptr))) return 1;
  form.Show(SW_SHOWNORMAL);
  HWND button = GetDlgItem(form.Handle(), IDC_COMMAND1);
  HWND upper = GetDlgItem(form.Handle(), IDC_TXTMSGDISPLAY);
  HWND lower = GetDlgItem(form.Handle(), IDC_TXTMSGDISPLAY2);
  auto entry = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("QZ_USB.DLL"), "SP_GetRegDevList")));
  if (!entry) return 1;
  MessagePump pump;
  pump.Attach(form.Handle());
  const PlainPanes plain = CreatePlainPanes(form.Handle());
  if (!plain.upper || !plain.lower) return 1;
  pump.HandlePending();  // let the windows settle before timing

  std::wstring expected;
  for (int n = 1; n <= 32; ++n) expected += std::to_wstring(n) + L", ";
  wchar_t text[2][512] = {};
  std::vector<double> clicks, yields, sameWork;
  for (int i = 0; i < runs; ++i) {
    WriteScenario(2 * i);
    double start = Seconds();
    SendMessageW(button, BM_CLICK, 0, 0);
    clicks.push_back((Seconds() - start) * 1000);
    // Only a click that listed everything counts.
    GetWindowTextW(upper, text[0], 512);
    GetWindowTextW(lower, text[1], 512);
    if (expected != text[0] || expected != text[1]) {
      std::fprintf(stderr, "the click did not list 1 to 32 in both panes: %ls / %ls\n", text[0], text[1]);
      return 1;
    }
    pump.HandlePending();

    start = Seconds();
    for (int y = 0; y < 2 * kYieldsPerPass + 2; ++y) pump.HandlePending();
    yields.push_back((Seconds() - start) * 1000);

    WriteScenario(2 * i + 1);
    start = Seconds();
    std::int16_t table[2048] = {};
    Empty(plain.upper);
    entry(table, 0);
    pump.HandlePending();
    Empty(plain.lower);
    entry(table, 0);
    pump.HandlePending();
    for (int y = 0; y < kYieldsPerPass; ++y) pump.HandlePending();
    Entries(plain.lower);
    for (int y = 0; y < kYieldsPerPass; ++y) pump.HandlePending();
    Entries(plain.upper);
    sameWork.push_back((Seconds() - start) * 1000);
    pump.HandlePending();
  }
  DeleteFileW((Folder() + L"QZ_SIM.TXT").c_str());
  Print(clicks);
  Print(yields);
  Print(sameWork);
  return 0;
}
