/* A stand-in for the vendor's QZ_USB.DLL, for demos and tests.
 *
 * Exports SP_GetRegDevList (stdcall, undecorated). On every call it reads
 * QZ_SIM.TXT beside the DLL, if there is one, and answers from it; without it
 * it answers a small demo table. The file format is in README.md beside this
 * source. */
#include <windows.h>

#include <float.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#if defined(_MSC_VER)
#include <intrin.h>    /* __ud2 */
#include <xmmintrin.h> /* _mm_setcsr */
#endif

#define TABLE_ENTRIES 33
#define MAX_STEPS 16
/* The most entries a scenario can have a call write, and what goes past the table. */
#define MAX_SPAN 65536
#define FILLER 0x7A7A

/* How a call ends: normally, or by one of the exceptions a faulty library raises. */
enum Fault { FAULT_NONE, FAULT_AV, FAULT_DIVIDE, FAULT_ILLEGAL, FAULT_STACK, FAULT_RAISE };

/* What a call leaves changed of the calling thread, as bits. */
enum Leave {
  LEAVE_DIRECTION = 1, /* the direction flag set */
  LEAVE_QUIT = 2,      /* a WM_QUIT posted */
  LEAVE_FOCUS = 4,     /* the keyboard focus on no window */
  LEAVE_UNLOAD = 8,    /* the library freed until the loader lets it go */
  LEAVE_WINDOW = 16,   /* a window of its own that never validates its paint region */
  LEAVE_DPI = 32,      /* the thread unaware of the DPI */
  /* What it leaves of the caller's window (the thread's first visible one): */
  LEAVE_DISABLE = 64,   /* disabled */
  LEAVE_HIDE = 128,     /* hidden */
  LEAVE_SUBCLASS = 256, /* subclassed, faulting on the first message after the call */
  /* Windows and state of its own: */
  LEAVE_CAPTURE = 512,      /* the mouse captured by a hidden window of its own */
  LEAVE_DIALOGFAULT = 1024, /* a modal dialog owned by the caller's window, faulting in its loop */
  LEAVE_WINDOWFAULT = 2048, /* a window of its own that faults on a timer after the call */
  LEAVE_CONSOLE = 4096,     /* a console */
  LEAVE_CLIPBOARD = 8192,   /* the clipboard open */
  LEAVE_PRIORITY = 16384,   /* the thread at idle priority */
  LEAVE_CURSOR = 32768      /* the cursor hidden (ShowCursor(FALSE)) */
};

typedef struct {
  char text[8192]; /* the file as read, to notice a new scenario */
  short tables[MAX_STEPS][TABLE_ENTRIES];
  int tableCount;
  unsigned long results[MAX_STEPS];
  int resultCount;
  unsigned long delays[MAX_STEPS];
  int delayCount;
  unsigned long loops[MAX_STEPS]; /* milliseconds of a message loop of its own */
  int loopCount;
  int faults[MAX_STEPS];
  unsigned long raised[MAX_STEPS]; /* the code of a FAULT_RAISE */
  int faultCount;
  int span;     /* entries each call writes; past the table's 33 the filler */
  int before;   /* entries each call writes in front of the table */
  int fpuCount; /* 0, or 1 with the x87 control word, 2 with MXCSR too */
  unsigned long fpu[2];
  int leave; /* enum Leave bits */
  int poke;  /* post the caller's window a message its own code faults on */
  char record[MAX_PATH];
} Scenario;

static HMODULE self;
static int callCount;
/* The record file of the current scenario, or empty: also for what faults after its call. */
static char recording[MAX_PATH];
/* The Leave bits of the call under way, for its last steps. */
static int leaving;

/* Connected 3, 7, 12 and 25; registered but disconnected 1, 10 and 40. */
static const short demoTable[TABLE_ENTRIES] = {12, -32758, 3, 25, -32767, 7, 0, -32728};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

/* A file beside this DLL. */
static void SiblingPath(const char* name, char* path) {
  char* slash;
  DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) length = 0;
  path[length] = '\0';
  slash = strrchr(path, '\\');
  slash = slash ? slash + 1 : path;
  if ((size_t)(slash - path) + strlen(name) >= MAX_PATH) name = "";
  strcpy(slash, name);
}

/* Wide enough for any 16-bit entry and any 32-bit result, 0xFFFFFF00 included. */
static int ReadNumbers(char* text, long long* numbers, int most) {
  int count = 0;
  char* end;
  for (;;) {
    long long value = strtoll(text, &end, 0);
    if (end == text || count == most) return count;
    numbers[count++] = value;
    text = end;
  }
}

/* Reads the next word of *text and moves past it: its index in names, -1
 * for an unknown word, -2 at the end of the text. */
static int NextWord(const char** text, const char* const* names, int count) {
  size_t length;
  int i;
  *text += strspn(*text, " \t");
  length = strcspn(*text, " \t");
  if (length == 0) return -2;
  for (i = 0; i < count; ++i) {
    if (strlen(names[i]) == length && strncmp(*text, names[i], length) == 0) break;
  }
  *text += length;
  return i < count ? i : -1;
}

/* "fault none av raise 0xE06D7363 divide illegal stack": how successive calls
 * end. An unknown word is "none". */
static void ReadFaults(const char* text, Scenario* scenario) {
  static const char* const names[] = {"none", "av", "divide", "illegal", "stack", "raise"};
  int kind;
  while (scenario->faultCount < MAX_STEPS &&
         (kind = NextWord(&text, names, (int)(sizeof names / sizeof names[0]))) != -2) {
    if (kind == FAULT_RAISE) {
      char* end;
      scenario->raised[scenario->faultCount] = strtoul(text, &end, 0);
      text = end;
    }
    scenario->faults[scenario->faultCount++] = kind < 0 ? FAULT_NONE : kind;
  }
}

/* "leave direction quit focus unload window dpi": what every call leaves
 * changed. An unknown word changes nothing. */
static int ReadLeave(const char* text) {
  static const char* const names[] = {"direction", "quit",      "focus",    "unload",  "window",      "dpi",
                                      "disable",   "hide",      "subclass", "capture", "dialogfault", "windowfault",
                                      "console",   "clipboard", "priority", "cursor"};
  int bits = 0, word;
  while ((word = NextWord(&text, names, (int)(sizeof names / sizeof names[0]))) != -2) {
    if (word >= 0) bits |= 1 << word;
  }
  return bits;
}

/* Reads QZ_SIM.TXT; returns 0 when there is none. Sets *changed when its text
 * differs from the last one read. */
static int LoadScenario(Scenario* scenario, int* changed) {
  char path[MAX_PATH];
  char text[sizeof scenario->text];
  char* line;
  size_t length;
  FILE* file;
  SiblingPath("QZ_SIM.TXT", path);
  file = fopen(path, "rb");
  if (!file) return 0;
  length = fread(text, 1, sizeof text - 1, file);
  fclose(file);
  text[length] = '\0';
  *changed = strcmp(text, scenario->text) != 0;
  memset(scenario, 0, sizeof *scenario);
  strcpy(scenario->text, text);
  for (line = strtok(text, "\r\n"); line; line = strtok(NULL, "\r\n")) {
    long long numbers[TABLE_ENTRIES];
    char* comment = strchr(line, '#');
    char* word = line;
    int count, i;
    if (comment) *comment = '\0';
    while (*word == ' ' || *word == '\t') ++word;
    if (strncmp(word, "table", 5) == 0 && scenario->tableCount < MAX_STEPS) {
      count = ReadNumbers(word + 5, numbers, TABLE_ENTRIES);
      for (i = 0; i < count; ++i) scenario->tables[scenario->tableCount][i] = (short)numbers[i];
      scenario->tableCount++;
    } else if (strncmp(word, "result", 6) == 0) {
      count = ReadNumbers(word + 6, numbers, MAX_STEPS);
      for (i = 0; i < count; ++i) scenario->results[i] = (unsigned long)numbers[i];
      scenario->resultCount = count;
    } else if (strncmp(word, "delay", 5) == 0) {
      count = ReadNumbers(word + 5, numbers, MAX_STEPS);
      for (i = 0; i < count; ++i) scenario->delays[i] = (unsigned long)numbers[i];
      scenario->delayCount = count;
    } else if (strncmp(word, "loop", 4) == 0) {
      count = ReadNumbers(word + 4, numbers, MAX_STEPS);
      for (i = 0; i < count; ++i) scenario->loops[i] = (unsigned long)numbers[i];
      scenario->loopCount = count;
    } else if (strncmp(word, "fpu", 3) == 0) {
      count = ReadNumbers(word + 3, numbers, 2);
      for (i = 0; i < count; ++i) scenario->fpu[i] = (unsigned long)numbers[i];
      scenario->fpuCount = count;
    } else if (strncmp(word, "before", 6) == 0) {
      count = ReadNumbers(word + 6, numbers, 1);
      if (count == 1 && numbers[0] >= 0 && numbers[0] <= MAX_SPAN) scenario->before = (int)numbers[0];
    } else if (strncmp(word, "poke", 4) == 0) {
      scenario->poke = 1;
    } else if (strncmp(word, "leave", 5) == 0) {
      scenario->leave = ReadLeave(word + 5);
    } else if (strncmp(word, "fault", 5) == 0) {
      ReadFaults(word + 5, scenario);
    } else if (strncmp(word, "write", 5) == 0) {
      count = ReadNumbers(word + 5, numbers, 1);
      if (count == 1 && numbers[0] >= 0 && numbers[0] <= MAX_SPAN) scenario->span = (int)numbers[0];
    } else if (strncmp(word, "record", 6) == 0) {
      char name[MAX_PATH];
      if (sscanf(word + 6, " %259s", name) == 1) SiblingPath(name, scenario->record);
    }
  }
  return 1;
}

/* The step of this call in a list whose last element repeats. */
static int Step(int call, int count) {
  return call < count ? call : count - 1;
}

/* Appends a line to the scenario's record file, if it records. */
static void Note(const char* line) {
  FILE* file;
  if (!recording[0] || !(file = fopen(recording, "a"))) return;
  fprintf(file, "%s\n", line);
  fclose(file);
}

/* "zero" when every entry the call is about to write was 0 when handed in. */
static void Record(int call, long selector, const short* table, int span) {
  char line[64];
  int i, zero = 1;
  for (i = 0; i < span; ++i) zero = zero && table[i] == 0;
  sprintf(line, "call %d selector %ld table %s", call + 1, selector, zero ? "zero" : "dirty");
  Note(line);
}

/* Recursion that never ends before the stack does. */
static volatile int deeper = 1;
static int Overflow(volatile char* caller) {
  volatile char frame[1024];
  frame[0] = caller[0];
  return deeper ? Overflow(frame) + frame[1] : 0;
}

/* Waits as a library that pumps the caller's messages while its device
 * answers: every message is dispatched, and a WM_QUIT is taken and kept. */
static void MessageLoop(unsigned long ms) {
  DWORD start = GetTickCount();
  DWORD spent;
  while ((spent = GetTickCount() - start) < ms) {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, NULL, FALSE, ms - spent, QS_ALLINPUT);
  }
}

/* The calling thread's first visible top-level window: the program's. */
static BOOL CALLBACK FirstVisible(HWND window, LPARAM found) {
  if (!IsWindowVisible(window)) return TRUE;
  *(HWND*)found = window;
  return FALSE;
}

static HWND CallerWindow(void) {
  HWND window = NULL;
  EnumThreadWindows(GetCurrentThreadId(), FirstVisible, (LPARAM)&window);
  return window;
}

/* Posts the caller's window WM_GETDPISCALEDSIZE (Windows 10 1703) without
 * the size it must fill, for the call's own message loop to dispatch: the
 * window's own code faults on it, under the library's call, as a bug of the
 * program's would. */
static void Poke(void) {
  HWND window = CallerWindow();
  if (window) PostMessageA(window, 0x02E4, 96, 0);
}

/* Leaves the x87 control word (and MXCSR), after some arithmetic, as a
 * library built with other floating-point settings may. */
static void LeaveFloatSettings(const Scenario* scenario) {
  volatile double third = 1.0;
  unsigned short x87 = (unsigned short)scenario->fpu[0];
  unsigned int mxcsr = (unsigned int)scenario->fpu[1];
  third = third / 3.0; /* inexact: a flag an unmasked exception would raise */
#if defined(_MSC_VER)
  __asm {
    fldcw x87
  }
  if (scenario->fpuCount > 1) _mm_setcsr(mxcsr);
#else
  __asm__ volatile("fldcw %0" : : "m"(x87));
  if (scenario->fpuCount > 1) __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
}

/* Ends the call with the given exception, after the table was written and the
 * floating-point rounding changed, as a library can leave them when it fails. */
static void Fault(int kind, unsigned long code) {
  static int* volatile nowhere = NULL;
  volatile int zero = 0, dividend = 7; /* compilers turn 1 / x into a comparison */
  volatile char bottom = 0;
  if (kind == FAULT_NONE) return;
  _control87(_RC_CHOP, _MCW_RC);
  switch (kind) {
    case FAULT_AV:
      *nowhere = 1;
      break;
    case FAULT_DIVIDE:
      zero = dividend / zero;
      break;
    case FAULT_ILLEGAL:
#if defined(_MSC_VER)
      __ud2();
#else
      __builtin_trap();
#endif
      break;
    case FAULT_STACK:
      zero = Overflow(&bottom);
      break;
    default:
      RaiseException(code, 0, 0, NULL);
      break;
  }
}

/* A fault after the call, in a procedure of the library's: noted first, so
 * that a test can wait for it. */
static void FaultLater(const char* where) {
  static int* volatile nowhere = NULL;
  Note(where);
  *nowhere = 1;
}

/* The caller's window procedure, and whether the call has returned. */
static WNDPROC subclassed;
static volatile int returned;

static LRESULT CALLBACK FaultingSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (returned) FaultLater("fault in subclass");
  return CallWindowProcW(subclassed, window, message, wParam, lParam);
}

static INT_PTR CALLBACK FaultingDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  if (message == WM_INITDIALOG) SetTimer(dialog, 1, 10, NULL);
  if (message == WM_TIMER) FaultLater("fault in dialog");
  return message == WM_INITDIALOG;
}

static LRESULT CALLBACK FaultingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) FaultLater("fault in window");
  return DefWindowProcA(window, message, wParam, lParam);
}

/* A hidden window of the library's own, of a class of its own. */
static HWND OwnWindow(const char* className, WNDPROC procedure) {
  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = self;
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, className, "", WS_POPUP, 0, 0, 40, 40, NULL, NULL, self,
                         NULL);
}

/* A modal dialog without controls, owned by the caller's window: the system
 * disables the owner for its loop, and the fault leaves both as they are. */
static void ShowFaultingDialog(HWND owner) {
  static DWORD dialog[8]; /* DLGTEMPLATE, no menu, class or title: DWORD-aligned */
  DLGTEMPLATE* layout = (DLGTEMPLATE*)dialog;
  layout->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  layout->cx = 100;
  layout->cy = 40;
  DialogBoxIndirectParamA(self, layout, owner, FaultingDialog, 0);
}

/* Never validated: the system makes up WM_PAINT for it whenever the queue is empty. */
static LRESULT CALLBACK Unpainted(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

/* A small window, shown without taking the activation, once. */
static void ShowUnpaintedWindow(void) {
  static HWND window;
  WNDCLASSA windowClass;
  if (window) return;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = Unpainted;
  windowClass.hInstance = self;
  windowClass.lpszClassName = "QZ_SIM.Unpainted";
  RegisterClassA(&windowClass);
  window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 40, 40,
                           NULL, NULL, self, NULL);
  ShowWindow(window, SW_SHOWNOACTIVATE);
}

/* What a call leaves changed, but for the direction flag and the unload,
 * which come last. */
static void LeaveChanged(int leave) {
  HWND caller = CallerWindow();
  if (caller && (leave & LEAVE_DISABLE)) EnableWindow(caller, FALSE);
  if (caller && (leave & LEAVE_HIDE)) ShowWindow(caller, SW_HIDE);
  if (caller && (leave & LEAVE_SUBCLASS) && GetWindowLongPtrW(caller, GWLP_WNDPROC) != (LONG_PTR)FaultingSubclass)
    subclassed = (WNDPROC)SetWindowLongPtrW(caller, GWLP_WNDPROC, (LONG_PTR)FaultingSubclass);
  if (leave & LEAVE_CAPTURE) SetCapture(OwnWindow("QZ_SIM.Capture", DefWindowProcA));
  if (leave & LEAVE_WINDOWFAULT) SetTimer(OwnWindow("QZ_SIM.Faulting", FaultingWindow), 1, 100, NULL);
  if (leave & LEAVE_CONSOLE) AllocConsole();
  if (leave & LEAVE_CLIPBOARD) OpenClipboard(NULL);
  if (leave & LEAVE_PRIORITY) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
  if (leave & LEAVE_CURSOR) ShowCursor(FALSE);
  if (caller && (leave & LEAVE_DIALOGFAULT)) ShowFaultingDialog(caller);
  if (leave & LEAVE_QUIT) PostQuitMessage(0);
  if (leave & LEAVE_FOCUS) SetFocus(NULL);
  if (leave & LEAVE_WINDOW) ShowUnpaintedWindow();
  if (leave & LEAVE_DPI) {
    /* Windows 10 1607 and later; DPI_AWARENESS_CONTEXT_UNAWARE is -1. */
    typedef void*(WINAPI * SetContext)(void*);
    SetContext set =
        (SetContext)(void (*)(void))GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext");
    if (set) set((void*)(INT_PTR)-1);
  }
}

static unsigned long Answer(short* table, long selector) {
  static Scenario scenario;
  int changed = 0;
  int call, span, i;
  leaving = 0;
  returned = 0;
  if (!LoadScenario(&scenario, &changed)) {
    memcpy(table, demoTable, sizeof demoTable);
    return 1;
  }
  /* A new scenario starts again from its first call. */
  if (changed) callCount = 0;
  call = callCount++;
  span = scenario.span ? scenario.span : TABLE_ENTRIES;
  strcpy(recording, scenario.record);
  Record(call, selector, table, span);
  if (scenario.delayCount) Sleep(scenario.delays[Step(call, scenario.delayCount)]);
  if (scenario.poke) Poke();
  if (scenario.loopCount) MessageLoop(scenario.loops[Step(call, scenario.loopCount)]);
  if (scenario.tableCount)
    memcpy(table, scenario.tables[Step(call, scenario.tableCount)],
           (span < TABLE_ENTRIES ? span : TABLE_ENTRIES) * sizeof(short));
  /* A library that writes past the table it was given. */
  for (i = TABLE_ENTRIES; i < span; ++i) table[i] = FILLER;
  /* And one that writes in front of it. */
  for (i = 1; i <= scenario.before; ++i) table[-i] = FILLER;
  if (scenario.fpuCount) LeaveFloatSettings(&scenario);
  LeaveChanged(scenario.leave);
  leaving = scenario.leave;
  if (scenario.faultCount) {
    int step = Step(call, scenario.faultCount);
    Fault(scenario.faults[step], scenario.raised[step]);
  }
  return scenario.resultCount ? scenario.results[Step(call, scenario.resultCount)] : 1;
}

/* The last steps of a call, right before it returns. A library freed until
 * the loader lets it go returns into code that is no longer there. */
static unsigned long Finish(unsigned long result) {
  int i;
  returned = 1;
  if (leaving & LEAVE_UNLOAD) {
    for (i = 0; i < 1000; ++i) FreeLibrary(self);
  }
  /* Nothing that copies or fills memory runs after this. */
  if (leaving & LEAVE_DIRECTION) {
#if defined(_MSC_VER)
    __asm {
      std
    }
#else
    __asm__ volatile("std");
#endif
  }
  return result;
}

/* The result is 32 bits wide so that a test can set bits above the low byte,
 * which callers must ignore. */
#if defined(QZ_SIM_NO_ENTRY)
/* The variant that loads but lacks the entry point callers look for. */
__declspec(dllexport) unsigned long WINAPI SP_GetRegDevListV2(short* table, long selector) {
  return Finish(Answer(table, selector));
}
#elif !defined(QZ_SIM_POPS)
unsigned long WINAPI SP_GetRegDevList(short* table, long selector) {
  return Finish(Answer(table, selector));
}
/* Variants built for another convention, which take off the stack more or
 * less than the 8 bytes of arguments a caller pushes. */
#elif QZ_SIM_POPS == 0
unsigned long __cdecl SP_GetRegDevList(short* table, long selector) {
  return Finish(Answer(table, selector));
}
#elif QZ_SIM_POPS == 4
unsigned long WINAPI SP_GetRegDevList(short* table) {
  return Finish(Answer(table, -1)); /* the selector is beyond what this build reads */
}
#elif QZ_SIM_POPS == 12
unsigned long WINAPI SP_GetRegDevList(short* table, long selector, long beyond) {
  (void)beyond;
  return Finish(Answer(table, selector));
}
#endif
