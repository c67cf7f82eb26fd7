#include "win32_probe.h"

#include <setupapi.h>
#include <usbiodef.h>

#include <QDir>
#include <QFile>

namespace win32_probe {
namespace {

std::string registry_text(HDEVINFO set, SP_DEVINFO_DATA& element, DWORD property)
{
    BYTE buffer[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &element, property, nullptr, buffer,
                                           sizeof buffer, nullptr))
        return "";
    return reinterpret_cast<const char*>(buffer);
}

} // namespace

std::vector<disk_interface> disk_interfaces()
{
    std::vector<disk_interface> interfaces;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return interfaces;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, index, &data);
         ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
        std::vector<char> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        disk_interface entry;
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr))
            entry.device_path = detail->DevicePath;
        SP_DEVINFO_DATA element = {};
        element.cbSize = sizeof element;
        if (SetupDiEnumDeviceInfo(set, index, &element)) {
            entry.friendly_name = registry_text(set, element, SPDRP_FRIENDLYNAME);
            entry.description = registry_text(set, element, SPDRP_DEVICEDESC);
        }
        interfaces.push_back(entry);
    }
    SetupDiDestroyDeviceInfoList(set);
    return interfaces;
}

int usb_storage_count()
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USB_DEVICE, "USBSTOR", nullptr,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return -1;
    SP_DEVINFO_DATA element = {};
    element.cbSize = sizeof element;
    int count = 0;
    while (SetupDiEnumDeviceInfo(set, static_cast<DWORD>(count), &element))
        ++count;
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

std::vector<std::string> usb_storage_ids()
{
    std::vector<std::string> ids;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USB_DEVICE, "USBSTOR", nullptr,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return ids;
    SP_DEVINFO_DATA element = {};
    element.cbSize = sizeof element;
    char id[512] = {};
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &element); ++index)
        ids.emplace_back(SetupDiGetDeviceInstanceIdA(set, &element, id, sizeof id, nullptr) ? id : "");
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

std::vector<std::string> logical_drive_roots()
{
    char buffer[MAX_PATH] = {};
    std::vector<std::string> roots;
    DWORD length = GetLogicalDriveStringsA(sizeof buffer, buffer);
    for (DWORD at = 0; at < length && buffer[at];) {
        roots.emplace_back(buffer + at);
        at += static_cast<DWORD>(roots.back().size()) + 1;
    }
    return roots;
}

DWORD device_number(const std::string& path, STORAGE_DEVICE_NUMBER& number)
{
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD returned = 0;
    DWORD error = ERROR_SUCCESS;
    if (!DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                         sizeof number, &returned, nullptr))
        error = GetLastError();
    CloseHandle(handle);
    return error;
}

DWORD disk_number_of(HANDLE handle)
{
    STORAGE_DEVICE_NUMBER number {};
    DWORD returned = 0;
    if (!DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                         sizeof number, &returned, nullptr))
        return DWORD(-1);
    return number.DeviceNumber;
}

void close_handles(std::vector<HANDLE>& handles)
{
    for (HANDLE handle : handles)
        CloseHandle(handle);
    handles.clear();
}

int open_flags_of(const std::string& path)
{
    const QString wanted = QString::fromStdString(path);
    const QDir::Filters entries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    for (const QString& fd : QDir("/proc/self/fd").entryList(entries)) {
        if (QFile::symLinkTarget("/proc/self/fd/" + fd) != wanted)
            continue;
        QFile info("/proc/self/fdinfo/" + fd);
        info.open(QIODevice::ReadOnly);
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("flags:"))
                return line.mid(6).trimmed().toInt(nullptr, 8);
    }
    return -1;
}

} // namespace win32_probe
