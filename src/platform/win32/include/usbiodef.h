#pragma once
// The USB device interface class of the Windows SDK's usbiodef.h.

#include <windows.h>

DEFINE_GUID(GUID_DEVINTERFACE_USB_DEVICE, 0xA5DCBF10L, 0x6530, 0x11D2, 0x90, 0x1F, 0x00, 0xC0,
            0x4F, 0xB9, 0x51, 0xED);
