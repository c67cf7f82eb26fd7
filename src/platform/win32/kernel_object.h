#pragma once
// Every HANDLE the layer gives out points at a kernel_object; CloseHandle deletes it.

#include <windows.h>

namespace win32 {

class kernel_object {
public:
    virtual ~kernel_object() = default;
};

// Registers a new object and returns its handle.
HANDLE register_object(kernel_object* object);

// The object behind a live handle, or nullptr.
kernel_object* find_object(HANDLE handle);

// The object behind a live handle of type T, or nullptr (last error set to
// ERROR_INVALID_HANDLE) for a handle that is closed, unknown or of another type.
template <typename T>
T* object_of(HANDLE handle)
{
    T* object = dynamic_cast<T*>(find_object(handle));
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

} // namespace win32
