#pragma once
// A device-changing call between its hooks.

#include "call_hooks.h"

namespace win32 {

// Runs `run`, which returns the call's error, unless the hooks decide otherwise, then tells
// them how the call ended; a write gives where it begins and how much it asks for.
template <typename Run>
DWORD run_hooked(hooks::call what, const std::string& target, Run&& run, std::uint64_t offset = 0,
                 std::uint64_t length = 0)
{
    const hooks::verdict verdict = hooks::before(what, target);
    const DWORD error = verdict.run ? run() : verdict.error;
    hooks::after(what, target, error, offset, length);
    return error;
}

} // namespace win32
