#pragma once
// ShellExecuteA as the Windows SDK declares it.

#include <windows.h>

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int show_command);
