#include <windows.h>

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError()
{
    return last_error;
}

void WINAPI SetLastError(DWORD error)
{
    last_error = error;
}
