#pragma once
// With the Windows SDK this makes DEFINE_GUID define its GUIDs; here DEFINE_GUID always does.

#include <windows.h>
