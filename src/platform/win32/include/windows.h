#pragma once
// The part of the Windows SDK's windows.h that this program uses, with the SDK's 64-bit
// type sizes (LLP64: DWORD and LONG stay 32 bits), so structure layouts match Windows.

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::uint32_t UINT;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef std::uint64_t DWORD64;
typedef std::uintptr_t ULONG_PTR;
typedef std::uintptr_t DWORD_PTR;
typedef std::intptr_t LONG_PTR;
typedef char CHAR;
// Windows' wide characters are 16 bits.
typedef char16_t WCHAR;
typedef unsigned char UCHAR;
typedef BYTE BOOLEAN;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char* PSTR;
typedef const char* PCSTR;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef BYTE* PBYTE;
typedef BOOL* LPBOOL;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
} GUID, *LPGUID;
typedef const GUID* LPCGUID;

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

#define MAX_PATH 260
#define ANYSIZE_ARRAY 1

// Defines the GUID itself: no initguid.h / uuid.lib step is needed here.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Error codes (winerror.h)
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_NOT_READY 21L
#define ERROR_SECTOR_NOT_FOUND 27L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NOT_LOCKED 158L
#define ERROR_BUSY 170L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_IO_DEVICE 1117L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_CANCELLED 1223L
#define ERROR_INVALID_USER_BUFFER 1784L

// Process token (winnt.h)
#define TOKEN_QUERY 0x0008

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenElevation = 20
} TOKEN_INFORMATION_CLASS;

typedef struct _TOKEN_ELEVATION {
    DWORD TokenIsElevated;
} TOKEN_ELEVATION, *PTOKEN_ELEVATION;

static_assert(sizeof(TOKEN_ELEVATION) == 4, "TOKEN_ELEVATION is 4 bytes");

// Access rights, sharing and creation (winnt.h, fileapi.h)
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_NO_BUFFERING 0x20000000

// File pointer moves (fileapi.h)
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// Drive types (winbase.h)
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

// Console control events (wincon.h)
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD control_type);

// Show commands (winuser.h)
#define SW_HIDE 0
#define SW_SHOWNORMAL 1

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);

HANDLE WINAPI GetCurrentProcess();
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desired_access, PHANDLE token);
BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                LPVOID information, DWORD information_length,
                                PDWORD return_length);
BOOL WINAPI CloseHandle(HANDLE object);

HANDLE WINAPI CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                          DWORD flags_and_attributes, HANDLE template_file);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD io_control_code, LPVOID in_buffer,
                            DWORD in_buffer_size, LPVOID out_buffer, DWORD out_buffer_size,
                            LPDWORD bytes_returned, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD number_of_bytes_to_write,
                      LPDWORD number_of_bytes_written, LPOVERLAPPED overlapped);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD number_of_bytes_to_read,
                     LPDWORD number_of_bytes_read, LPOVERLAPPED overlapped);
BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance_to_move,
                             PLARGE_INTEGER new_file_pointer, DWORD move_method);

DWORD WINAPI GetLogicalDrives();
DWORD WINAPI GetLogicalDriveStringsA(DWORD buffer_length, LPSTR buffer);
UINT WINAPI GetDriveTypeA(LPCSTR root_path_name);
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);
void WINAPI Sleep(DWORD milliseconds);
// One handler at a time, with `add` TRUE: enough for the command line.
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

// The C runtime's 64-bit file positions, which Windows declares in <stdio.h>.
#include <cstdio>
int _fseeki64(std::FILE* file, LONGLONG offset, int origin);
LONGLONG _ftelli64(std::FILE* file);
