// The program's entry point: Form1 is the whole start.
#include <windows.h>

#include "window/Form1.h"

// The program takes no command line.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/, int nShowCmd) {
  Form1 form;
  if (!form.Create(hInstance)) return 1;
  form.Show(nShowCmd);
  return form.RunMessageLoop();
}
