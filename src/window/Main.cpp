#include <windows.h>

#include "window/Form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  Form1 form;
  if (!form.Create(instance)) return 1;
  form.Show(showCommand);
  return RunMessageLoop(form.Handle());
}
