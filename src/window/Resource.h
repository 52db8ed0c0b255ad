// The numbers that the resource script, the window and its tests share.
#pragma once

// The first icon group: Explorer shows it for the file.
#define IDI_DEVICELIST 1

// The main window's controls, in screen order.
#define IDC_LABEL1 101
#define IDC_TXTMSGDISPLAY 102
#define IDC_LABEL2 103
#define IDC_TXTMSGDISPLAY2 104
#define IDC_COMMAND1 105
