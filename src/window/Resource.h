#pragma once

// Resource numbers that both the resource script and the code use.
#define IDI_DEVICELIST 1  // the first icon group: Explorer shows it for the file
