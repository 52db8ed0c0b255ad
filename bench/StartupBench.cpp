// Starts programs in turn, many times, and measures the time from
// CreateProcess until a window of the new process is visible, and the
// process's peak working set once it then waits for input.
//   StartupBench RUNS PROGRAM...
// Prints one line per program: median, min and max in ms, and the peak
// working set's median in KiB.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Sample {
  double ms;
  double peakKiB;
};

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Run(const std::wstring& program, Sample& sample) {
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const double start = Seconds();
  if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return false;
  }
  Search search = {process.dwProcessId, nullptr};
  while (!search.found && Seconds() - start < 20) {
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    // A real pause, not Sleep(0): on the one CPU the watching would take
    // turns away from the program it watches.
    if (!search.found) Sleep(1);
  }
  sample.ms = (Seconds() - start) * 1000;
  // Memory once the window is painted and the program waits for input: a
  // moment that does not depend on when this process got its turn.
  WaitForInputIdle(process.hProcess, 5000);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
  sample.peakKiB = static_cast<double>(memory.PeakWorkingSetSize) / 1024;
  if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return search.found != nullptr;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: StartupBench RUNS PROGRAM...\n");
    return 1;
  }
  const int runs = _wtoi(argv[1]);
  const int programs = argc - 2;
  std::vector<std::vector<Sample>> samples(static_cast<std::size_t>(programs));
  Sample warm;
  // The first start of anything under Wine pays for loading it.
  for (int p = 0; p < programs; ++p) Run(argv[2 + p], warm);
  // In turns, so that a slow moment of the machine falls on all of them; each
  // round begins with the next program, so that each follows every other
  // equally often (what an ending program leaves to do falls on the next).
  for (int i = 0; i < runs; ++i) {
    for (int k = 0; k < programs; ++k) {
      const int p = (i + k) % programs;
      Sample s;
      if (!Run(argv[2 + p], s)) {
        std::fprintf(stderr, "no window from %ls\n", argv[2 + p]);
        return 1;
      }
      samples[static_cast<std::size_t>(p)].push_back(s);
    }
  }
  for (const std::vector<Sample>& program : samples) {
    std::vector<double> ms, peak;
    for (const Sample& s : program) {
      ms.push_back(s.ms);
      peak.push_back(s.peakKiB);
    }
    std::printf("%.2f %.2f %.2f %.0f\n", Median(ms), *std::min_element(ms.begin(), ms.end()),
                *std::max_element(ms.begin(), ms.end()), Median(peak));
  }
  return 0;
}
