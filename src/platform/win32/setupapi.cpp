// Device-information sets hold the host's disks as they were when the set was opened: the
// disk interface class lists every whole disk, the "USBSTOR" enumerator the disks on USB;
// neither lists a disk that holds "/", another system mount point or swap.
// Element i and interface i of a set are the same disk.

#include "call_hooks.h"
#include "device_paths.h"
#include "disk_registry.h"
#include "kernel_object.h"

#include <setupapi.h>
#include <usbiodef.h>
#include <winioctl.h>

#include <cstring>
#include <strings.h>

namespace {

DEFINE_GUID(disk_drive_setup_class, 0x4d36e967L, 0xe325, 0x11ce, 0xbf, 0xc1, 0x08, 0x00, 0x2b,
            0xe1, 0x03, 0x18);

class device_info_set : public win32::kernel_object {
public:
    // Every element is a disk and has one disk interface.
    std::vector<win32::host_disk> disks;
};

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// Element data carry the element's index + 1 in Reserved.
bool element_index(const device_info_set& set, const SP_DEVINFO_DATA* data, size_t& index)
{
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved == 0
        || data->Reserved > set.disks.size())
        return false;
    index = data->Reserved - 1;
    return true;
}

void fill_element(SP_DEVINFO_DATA& data, size_t index)
{
    data.ClassGuid = disk_drive_setup_class;
    data.DevInst = static_cast<DWORD>(index + 1);
    data.Reserved = index + 1;
}

std::string friendly_name(const win32::sysfs_disk& disk)
{
    std::string name = disk.vendor;
    if (!disk.model.empty())
        name += (name.empty() ? "" : " ") + disk.model;
    if (name.empty())
        return "";
    return disk.bus_type == BusTypeUsb ? name + " USB Device" : name;
}

// Windows allows printable ASCII but the comma in a device ID; a backslash would split it.
std::string id_part(const std::string& text)
{
    std::string part = text;
    for (char& c : part) {
        const auto code = static_cast<unsigned char>(c);
        if (code <= ' ' || code >= 0x7f || c == ',' || c == '\\')
            c = '_';
    }
    return part;
}

// The instance part ends in the disk number: a stick that left and came back, or another of
// the same make and serial in the same port, is another device.
std::string instance_id(const win32::host_disk& disk)
{
    const win32::sysfs_disk& info = disk.info;
    const bool on_usb = info.bus_type == BusTypeUsb;
    std::string unique = info.serial;
    if (unique.empty())
        unique = on_usb ? info.usb_port : info.name;
    return std::string(on_usb ? "USBSTOR" : "SCSI") + "\\DISK&VEN_" + id_part(info.vendor)
        + "&PROD_" + id_part(info.model) + "\\" + id_part(unique) + "&"
        + std::to_string(disk.number);
}

} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* class_guid, PCSTR enumerator, HWND, DWORD flags)
{
    if (enumerator && strcasecmp(enumerator, "USBSTOR") == 0) {
        const win32::hooks::verdict verdict =
            win32::hooks::before(win32::hooks::call::usb_storage_listing, "USBSTOR");
        if (!verdict.run) {
            SetLastError(verdict.error);
            return INVALID_HANDLE_VALUE;
        }
    }
    auto* set = new device_info_set;
    std::vector<win32::host_disk> disks;
    // A disk that holds the running system is no candidate for anything, whatever its bus.
    for (const win32::host_disk& disk : win32::scan_host().disks)
        if (!disk.holds_system)
            disks.push_back(disk);
    if (enumerator) {
        if (strcasecmp(enumerator, "USBSTOR") != 0) {
            delete set;
            SetLastError(ERROR_INVALID_DATA);
            return INVALID_HANDLE_VALUE;
        }
        for (const win32::host_disk& disk : disks)
            if (disk.info.bus_type == BusTypeUsb)
                set->disks.push_back(disk);
    } else if (flags & DIGCF_DEVICEINTERFACE) {
        if (class_guid && *class_guid == GUID_DEVINTERFACE_DISK)
            set->disks = disks;
    } else if ((flags & DIGCF_ALLCLASSES) || (class_guid && *class_guid == disk_drive_setup_class)) {
        set->disks = disks;
    }
    return win32::register_object(set);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO device_info_set_handle,
                                        PSP_DEVINFO_DATA device_info_data,
                                        const GUID* interface_class_guid, DWORD member_index,
                                        PSP_DEVICE_INTERFACE_DATA interface_data)
{
    auto* set = win32::object_of<device_info_set>(device_info_set_handle);
    if (!set)
        return FALSE;
    if (!interface_data || interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (!interface_class_guid)
        return fail(ERROR_INVALID_PARAMETER);
    size_t index = member_index;
    if (device_info_data) {
        if (!element_index(*set, device_info_data, index))
            return fail(ERROR_INVALID_PARAMETER);
        if (member_index > 0)
            return fail(ERROR_NO_MORE_ITEMS);
    }
    if (!(*interface_class_guid == GUID_DEVINTERFACE_DISK)
        || index >= set->disks.size())
        return fail(ERROR_NO_MORE_ITEMS);
    interface_data->InterfaceClassGuid = GUID_DEVINTERFACE_DISK;
    interface_data->Flags = SPINT_ACTIVE;
    interface_data->Reserved = index + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO device_info_set_handle,
                                             PSP_DEVICE_INTERFACE_DATA interface_data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_data,
                                             DWORD detail_data_size, PDWORD required_size,
                                             PSP_DEVINFO_DATA device_info_data)
{
    auto* set = win32::object_of<device_info_set>(device_info_set_handle);
    if (!set)
        return FALSE;
    if (!interface_data || interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)
        || interface_data->Reserved == 0 || interface_data->Reserved > set->disks.size())
        return fail(ERROR_INVALID_PARAMETER);
    size_t index = interface_data->Reserved - 1;
    const win32::host_disk& disk = set->disks[index];
    std::string path = win32::disk_interface_path(disk.info.name, disk.number);
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)
                                      + path.size() + 1);
    if (required_size)
        *required_size = needed;
    if (!detail_data)
        return fail(detail_data_size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    if (detail_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (detail_data_size < needed)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    if (device_info_data) {
        if (device_info_data->cbSize != sizeof(SP_DEVINFO_DATA))
            return fail(ERROR_INVALID_USER_BUFFER);
        fill_element(*device_info_data, index);
    }
    std::memcpy(detail_data->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO device_info_set_handle, DWORD member_index,
                                  PSP_DEVINFO_DATA device_info_data)
{
    auto* set = win32::object_of<device_info_set>(device_info_set_handle);
    if (!set)
        return FALSE;
    if (!device_info_data || device_info_data->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (member_index >= set->disks.size())
        return fail(ERROR_NO_MORE_ITEMS);
    fill_element(*device_info_data, member_index);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO device_info_set_handle,
                                              PSP_DEVINFO_DATA device_info_data, DWORD property,
                                              PDWORD property_reg_data_type, PBYTE property_buffer,
                                              DWORD property_buffer_size, PDWORD required_size)
{
    auto* set = win32::object_of<device_info_set>(device_info_set_handle);
    if (!set)
        return FALSE;
    size_t index = 0;
    if (!element_index(*set, device_info_data, index))
        return fail(ERROR_INVALID_PARAMETER);
    std::string value;
    const win32::sysfs_disk& disk = set->disks[index].info;
    if (property == SPDRP_FRIENDLYNAME)
        value = friendly_name(disk);
    else if (property == SPDRP_DEVICEDESC)
        value = "Disk drive";
    // The kernel's device node, the name the system's own tools give the disk.
    else if (property == SPDRP_PHYSICAL_DEVICE_OBJECT_NAME)
        value = "/dev/" + disk.name;
    // The USB port, as the kernel names it.
    else if (property == SPDRP_LOCATION_INFORMATION)
        value = disk.usb_port;
    if (value.empty())
        return fail(ERROR_INVALID_DATA);
    if (property_reg_data_type)
        *property_reg_data_type = REG_SZ;
    if (required_size)
        *required_size = static_cast<DWORD>(value.size() + 1);
    if (!property_buffer || property_buffer_size < value.size() + 1)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(property_buffer, value.c_str(), value.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO device_info_set_handle,
                                        PSP_DEVINFO_DATA device_info_data,
                                        PSTR device_instance_id, DWORD device_instance_id_size,
                                        PDWORD required_size)
{
    auto* set = win32::object_of<device_info_set>(device_info_set_handle);
    if (!set)
        return FALSE;
    size_t index = 0;
    if (!element_index(*set, device_info_data, index))
        return fail(ERROR_INVALID_PARAMETER);
    const std::string id = instance_id(set->disks[index]);
    const auto needed = static_cast<DWORD>(id.size() + 1);
    if (required_size)
        *required_size = needed;
    if (!device_instance_id && device_instance_id_size != 0)
        return fail(ERROR_INVALID_USER_BUFFER);
    if (device_instance_id_size < needed)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(device_instance_id, id.c_str(), needed);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO device_info_set_handle)
{
    if (!win32::object_of<device_info_set>(device_info_set_handle))
        return FALSE;
    return CloseHandle(device_info_set_handle);
}
