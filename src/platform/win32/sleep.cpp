#include <windows.h>

#include <chrono>
#include <thread>

void WINAPI Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
