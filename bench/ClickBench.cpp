// The worst-case click on a real window, against the floor of as many empty
// yields to the same window: 32 ascending numbers in each list cost 993
// yields per ordering pass.
//   ClickBench RUNS
// Needs the simulated QZ_USB.DLL beside it; writes its scenario file there.
// Prints: click median, min, max; floor median, min, max (ms).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "window/Form1.h"
#include "window/MessagePump.h"

namespace {

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

// A new scenario for every click, so that each starts again at its first table.
void WriteScenario(int run) {
  FILE* file = _wfopen((Folder() + L"QZ_SIM.TXT").c_str(), L"wb");
  if (!file) return;
  std::fprintf(file, "# click %d\ntable", run);
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

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  Form1 form;
  if (!form.Create(GetModuleHandleW(nullptr))) return 1;
  form.Show(SW_SHOWNORMAL);
  HWND button = GetDlgItem(form.Handle(), Form1::kCommand1);
  MessagePump pump;
  pump.Attach(form.Handle());
  pump.HandlePending();  // let the window settle before timing

  const int yields = 2 * 993;
  std::vector<double> clicks, floors;
  for (int i = 0; i < runs; ++i) {
    WriteScenario(i);
    double start = Seconds();
    SendMessageW(button, BM_CLICK, 0, 0);
    clicks.push_back((Seconds() - start) * 1000);
    start = Seconds();
    for (int y = 0; y < yields; ++y) pump.HandlePending();
    floors.push_back((Seconds() - start) * 1000);
  }
  DeleteFileW((Folder() + L"QZ_SIM.TXT").c_str());

  // Only a click that listed everything counts.
  std::wstring expected;
  for (int n = 1; n <= 32; ++n) expected += std::to_wstring(n) + L", ";
  wchar_t upper[512] = {};
  wchar_t lower[512] = {};
  GetWindowTextW(GetDlgItem(form.Handle(), Form1::kTxtMsgDisplay), upper, 512);
  GetWindowTextW(GetDlgItem(form.Handle(), Form1::kTxtMsgDisplay2), lower, 512);
  if (expected != upper || expected != lower) {
    std::fprintf(stderr, "the click did not list 1 to 32 in both panes: %ls / %ls\n", upper, lower);
    return 1;
  }
  Print(clicks);
  Print(floors);
  return 0;
}
