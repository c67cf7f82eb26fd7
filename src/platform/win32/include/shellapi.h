#pragma once
// ShellExecuteA as the Windows SDK declares it.

#include <windows.h>

// What a failed start returns; GetLastError then says why (ERROR_CANCELLED: the user declined).
#define SE_ERR_ACCESSDENIED 5

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int show_command);
