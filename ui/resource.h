// Resource identifiers shared by dorvane.rc and the window code.
#pragma once

#define IDI_DORVANE 1
