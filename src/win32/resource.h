#pragma once
// Resource identifiers shared by vellocar.rc and the code.
#define IDI_VELLOCAR 1
