#pragma once
// The device-installation calls of the Windows SDK's setupapi.h that this program uses, with
// the SDK's 64-bit structure sizes (8-byte packing, pointer-sized Reserved members).

#include <windows.h>

#include <cstddef>

#define WINSETUPAPI

typedef PVOID HDEVINFO;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_LOCATION_INFORMATION 0x0000000D
#define SPDRP_PHYSICAL_DEVICE_OBJECT_NAME 0x0000000E

#define REG_SZ 1

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[ANYSIZE_ARRAY];
} SP_DEVICE_INTERFACE_DETAIL_DATA_A, *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

#define SPINT_ACTIVE 0x00000001

static_assert(sizeof(SP_DEVINFO_DATA) == 32, "SP_DEVINFO_DATA is 32 bytes on 64-bit Windows");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32,
              "SP_DEVICE_INTERFACE_DATA is 32 bytes on 64-bit Windows");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8,
              "SP_DEVICE_INTERFACE_DETAIL_DATA_A is 8 bytes on 64-bit Windows");
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4,
              "DevicePath follows cbSize");

WINSETUPAPI HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* class_guid, PCSTR enumerator,
                                                 HWND parent, DWORD flags);
WINSETUPAPI BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO device_info_set,
                                                    PSP_DEVINFO_DATA device_info_data,
                                                    const GUID* interface_class_guid,
                                                    DWORD member_index,
                                                    PSP_DEVICE_INTERFACE_DATA interface_data);
WINSETUPAPI BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO device_info_set, PSP_DEVICE_INTERFACE_DATA interface_data,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_data, DWORD detail_data_size,
    PDWORD required_size, PSP_DEVINFO_DATA device_info_data);
WINSETUPAPI BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO device_info_set, DWORD member_index,
                                              PSP_DEVINFO_DATA device_info_data);
WINSETUPAPI BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO device_info_set,
                                                          PSP_DEVINFO_DATA device_info_data,
                                                          DWORD property,
                                                          PDWORD property_reg_data_type,
                                                          PBYTE property_buffer,
                                                          DWORD property_buffer_size,
                                                          PDWORD required_size);
WINSETUPAPI BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO device_info_set,
                                                    PSP_DEVINFO_DATA device_info_data,
                                                    PSTR device_instance_id,
                                                    DWORD device_instance_id_size,
                                                    PDWORD required_size);
WINSETUPAPI BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO device_info_set);
