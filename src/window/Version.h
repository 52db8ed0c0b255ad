#pragma once

// The program's version, in the one place both the resources and the code read it.
#define DEVICELIST_VERSION_NUMBERS 1, 0, 0, 0
#define DEVICELIST_VERSION_TEXT "1.00"
