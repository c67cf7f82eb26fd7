#pragma once
// The Windows error code closest to a Linux errno value.

#include <windows.h>

namespace win32 {

DWORD error_from_errno(int error);

} // namespace win32
