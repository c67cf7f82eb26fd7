#include "run/failure_texts.h"

const char* failure_text(failure cause)
{
    switch (cause) {
    case failure::device_disconnected:
        return "Device disconected!";
    case failure::cannot_prepare:
        return "Cannot prepare the device";
    case failure::disk_in_use:
        return "The device is in use by another flash";
    case failure::download_damaged:
        return "Downloaded image is damaged";
    case failure::no_space:
        return "Not enough free space to unpack the image";
    case failure::folder_not_writable:
        return "Cannot write to the data folder: ";
    case failure::configuration_too_large:
        return "Config file exceeds 2kB";
    case failure::cannot_write:
        return "Could not write to device";
    case failure::cannot_open:
        return "Cannot open device!";
    case failure::verification_failed:
        return "Verification failed: the stick may be faulty";
    case failure::settings_locked:
        return "Cannot lock the settings";
    case failure::canceled:
        return "canceled";
    }
    return "";
}

std::string folder_failure_text(failure cause, const std::string& folder)
{
    return failure_text(cause) + folder;
}
