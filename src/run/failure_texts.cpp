#include "run/failure_texts.h"

#include "image/write_refusal.h"

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
    case failure::folder_full:
        return "Not enough free space in the data folder: ";
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
    case failure::data_folder_locked:
        return "Cannot lock the data folder";
    case failure::canceled:
        return "canceled";
    }
    return "";
}

std::string folder_failure_text(failure cause, const std::string& folder)
{
    return failure_text(cause) + folder;
}

std::string settings_failure_text(settings_store::update why, const std::string& data_folder)
{
    const std::string folder = write_refusal::failed_folder(data_folder + "/configuration.txt");
    switch (why) {
    case settings_store::update::written:
    case settings_store::update::declined:
        return std::string();
    case settings_store::update::locked:
        return failure_text(failure::settings_locked);
    case settings_store::update::full:
        return folder_failure_text(failure::folder_full, folder);
    case settings_store::update::not_allowed:
    case settings_store::update::failed:
        break;
    }
    return folder_failure_text(failure::folder_not_writable, folder);
}

std::string record_failure_text(flash_record::appended why, const std::string& data_folder)
{
    const std::string folder = write_refusal::failed_folder(data_folder + "/" + flash_record::file_name);
    switch (why) {
    case flash_record::appended::written:
        return std::string();
    case flash_record::appended::locked:
        return failure_text(failure::data_folder_locked);
    case flash_record::appended::full:
        return folder_failure_text(failure::folder_full, folder);
    case flash_record::appended::not_allowed:
    case flash_record::appended::failed:
        break;
    }
    return folder_failure_text(failure::folder_not_writable, folder);
}
