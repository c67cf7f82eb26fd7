#include "run/failure_texts.h"

#include "base/write_refusal.h"

const char* failure_text(failure_cause cause)
{
    switch (cause) {
    case failure_cause::device_disconnected:
        return "Device disconected!";
    case failure_cause::cannot_prepare:
        return "Cannot prepare the device";
    case failure_cause::disk_in_use:
        return "The device is in use by another flash";
    case failure_cause::download_damaged:
        return "Downloaded image is damaged";
    case failure_cause::no_space:
        return "Not enough free space to unpack the image";
    case failure_cause::folder_not_writable:
        return "Cannot write to the data folder: ";
    case failure_cause::folder_full:
        return "Not enough free space in the data folder: ";
    case failure_cause::configuration_too_large:
        return "Config file exceeds 2kB";
    case failure_cause::cannot_write:
        return "Could not write to device";
    case failure_cause::cannot_open:
        return "Cannot open device!";
    case failure_cause::verification_failed:
        return "Verification failed: the stick may be faulty";
    case failure_cause::settings_locked:
        return "Cannot lock the settings";
    case failure_cause::data_folder_locked:
        return "Cannot lock the data folder";
    case failure_cause::canceled:
        return "canceled";
    }
    return "";
}

std::string folder_failure_text(failure_cause cause, const std::string& folder)
{
    return failure_text(cause) + folder;
}

std::string data_folder_failure_text(data_file::outcome why, const std::string& file)
{
    const std::string folder = write_refusal::failed_folder(file);
    switch (why) {
    case data_file::outcome::written:
        return std::string();
    case data_file::outcome::locked:
        return failure_text(failure_cause::data_folder_locked);
    case data_file::outcome::full:
        return folder_failure_text(failure_cause::folder_full, folder);
    case data_file::outcome::not_allowed:
    case data_file::outcome::failed:
        break;
    }
    return folder_failure_text(failure_cause::folder_not_writable, folder);
}

std::string settings_failure_text(settings_store::update why, const std::string& data_folder)
{
    switch (why) {
    case settings_store::update::written:
    case settings_store::update::declined:
        return std::string();
    case settings_store::update::locked:
        return failure_text(failure_cause::settings_locked);
    case settings_store::update::full:
        return data_folder_failure_text(data_file::outcome::full, data_folder + "/configuration.txt");
    case settings_store::update::not_allowed:
    case settings_store::update::failed:
        break;
    }
    return data_folder_failure_text(data_file::outcome::failed, data_folder + "/configuration.txt");
}

std::string burn_failure_text(burn_failure cause, const std::string& decompressed)
{
    switch (cause) {
    case burn_failure::disconnected:
        return failure_text(failure_cause::device_disconnected);
    case burn_failure::download_damaged:
        return failure_text(failure_cause::download_damaged);
    case burn_failure::no_space:
        return failure_text(failure_cause::no_space);
    case burn_failure::folder_not_writable:
        return folder_failure_text(failure_cause::folder_not_writable, write_refusal::failed_folder(decompressed));
    case burn_failure::verification_failed:
        return failure_text(failure_cause::verification_failed);
    case burn_failure::cannot_open:
        break;
    }
    return failure_text(failure_cause::cannot_open);
}
