// A process counts as elevated when its effective user is root, or when it runs over a fake
// host tree, where nothing needs rights (the demo and the tests run so as a normal user).

#include "host_root.h"
#include "kernel_object.h"

#include <unistd.h>

namespace {

class process_token : public win32::kernel_object {
public:
    bool elevated = geteuid() == 0 || !win32::host_is_real();
};

// The pseudo handle Windows returns for the current process.
HANDLE const current_process = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

} // namespace

HANDLE WINAPI GetCurrentProcess()
{
    return current_process;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desired_access, PHANDLE token)
{
    if (process != current_process || !token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(desired_access & TOKEN_QUERY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *token = win32::register_object(new process_token);
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                LPVOID information, DWORD information_length,
                                PDWORD return_length)
{
    auto* object = win32::object_of<process_token>(token);
    if (!object)
        return FALSE;
    if (information_class != TokenElevation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (return_length)
        *return_length = sizeof(TOKEN_ELEVATION);
    if (!information || information_length < sizeof(TOKEN_ELEVATION)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    static_cast<TOKEN_ELEVATION*>(information)->TokenIsElevated = object->elevated ? 1 : 0;
    return TRUE;
}
