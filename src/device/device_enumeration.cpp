#include "base/logger.h"
#include "device/device_manager_impl.h"
#include "device/volume_queries.h"

#include <initguid.h>
#include <winioctl.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

// The device path of one disk interface, or an empty string.
std::string interface_path(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &interface_data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return {};
    // DWORD elements keep the structure's alignment.
    std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interface_data, detail, required, nullptr, nullptr))
        return {};
    const std::size_t path_room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    return std::string(detail->DevicePath, strnlen(detail->DevicePath, path_room));
}

// One text property of the disk's registry entry; empty when it has none.
std::string registry_text(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property)
{
    char buffer[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, nullptr, reinterpret_cast<PBYTE>(buffer),
                                           sizeof buffer, nullptr))
        return std::string();
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

// The friendly name, else the device description, with the disk's other names in the system;
// false when the registry has neither name.
bool read_names(HDEVINFO set, DWORD index, device& disk)
{
    SP_DEVINFO_DATA info {};
    info.cbSize = sizeof info;
    if (!SetupDiEnumDeviceInfo(set, index, &info))
        return true;
    disk.name = registry_text(set, info, SPDRP_FRIENDLYNAME);
    if (disk.name.empty())
        disk.name = registry_text(set, info, SPDRP_DEVICEDESC);
    if (disk.name.empty())
        return false;
    disk.system_name = registry_text(set, info, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
    disk.port = registry_text(set, info, SPDRP_LOCATION_INFORMATION);
    KESTREL_LOG(logger::info, "USB dev: " << disk.name);
    return true;
}

} // namespace

device_manager::impl::impl(device_manager* owner)
    : q(owner)
{
}

void device_manager::impl::m_enumerate_devices()
{
    devices.clear();
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVICE_INTERFACE_DATA interface_data {};
    interface_data.cbSize = sizeof interface_data;
    // Looked at once for the whole listing, when the first USB disk is found: each volume has
    // to be opened to learn its disk.
    std::optional<std::vector<volume_queries::removable_volume>> volumes;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, index,
                                                      &interface_data);
         ++index) {
        if (std::shared_ptr<device_windows> disk = m_read_disk(set, interface_data, index)) {
            if (!volumes)
                volumes = volume_queries::removable_volumes();
            disk->volumes = volume_queries::volumes_on(*volumes, disk->number);
            devices.push_back(disk);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::shared_ptr<device_windows> device_manager::impl::m_read_disk(
    HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data, DWORD index) const
{
    const std::string path = interface_path(set, interface_data);
    if (path.empty())
        return nullptr;
    volume_queries::disk_facts facts;
    switch (volume_queries::probe_disk(path, facts)) {
    case volume_queries::disk_probe::cannot_open:
    case volume_queries::disk_probe::not_usb:
        return nullptr;
    case volume_queries::disk_probe::not_writable:
    case volume_queries::disk_probe::unreadable: {
        const DWORD error = GetLastError();
        KESTREL_LOG(logger::fatal, error);
        return nullptr;
    }
    case volume_queries::disk_probe::usb_disk:
        break;
    }

    auto record = std::make_shared<device_windows>();
    record->size = facts.size;
    record->bytes_per_sector = facts.bytes_per_sector;
    record->serial = facts.serial;
    if (!read_names(set, index, *record))
        return nullptr;
    record->path = volume_queries::physical_drive_path(facts.number);
    record->number = static_cast<std::uint16_t>(facts.number);
    return record;
}
