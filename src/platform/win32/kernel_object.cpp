#include "kernel_object.h"

#include <mutex>
#include <unordered_set>

namespace win32 {
namespace {

std::mutex& objects_mutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<kernel_object*>& live_objects()
{
    static std::unordered_set<kernel_object*> objects;
    return objects;
}

} // namespace

HANDLE register_object(kernel_object* object)
{
    std::lock_guard<std::mutex> lock(objects_mutex());
    live_objects().insert(object);
    return object;
}

kernel_object* find_object(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(objects_mutex());
    auto* object = static_cast<kernel_object*>(handle);
    return live_objects().count(object) ? object : nullptr;
}

} // namespace win32

BOOL WINAPI CloseHandle(HANDLE handle)
{
    win32::kernel_object* object = nullptr;
    {
        std::lock_guard<std::mutex> lock(win32::objects_mutex());
        auto found = win32::live_objects().find(static_cast<win32::kernel_object*>(handle));
        if (found != win32::live_objects().end()) {
            object = *found;
            win32::live_objects().erase(found);
        }
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete object;
    return TRUE;
}
