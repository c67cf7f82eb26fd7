#include "sysfs_disks.h"

#include "disk_rules.h"
#include "host_root.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace win32 {
namespace {

std::uint64_t read_number(const std::string& host_path, std::uint64_t fallback)
{
    std::string text = read_host_file(host_path);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return fallback;
    return std::strtoull(text.c_str(), nullptr, 10);
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

} // namespace

bool natural_less(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i]))
            && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t end_a = a.find_first_not_of("0123456789", i);
            size_t end_b = b.find_first_not_of("0123456789", j);
            end_a = end_a == std::string::npos ? a.size() : end_a;
            end_b = end_b == std::string::npos ? b.size() : end_b;
            std::string digits_a = a.substr(i, end_a - i);
            std::string digits_b = b.substr(j, end_b - j);
            digits_a.erase(0, std::min(digits_a.find_first_not_of('0'), digits_a.size() - 1));
            digits_b.erase(0, std::min(digits_b.find_first_not_of('0'), digits_b.size() - 1));
            if (digits_a.size() != digits_b.size())
                return digits_a.size() < digits_b.size();
            if (digits_a != digits_b)
                return digits_a < digits_b;
            i = end_a;
            j = end_b;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool read_sysfs_disk(const std::string& name, sysfs_disk& disk)
{
    std::string device_path = resolve_in_host("/sys/block/" + name);
    if (device_path.empty())
        return false;
    disk = sysfs_disk();
    disk.name = name;
    disk.device_path = device_path;
    disk.size_bytes = read_number(device_path + "/size", 0) * 512;
    disk.logical_block_size =
        static_cast<std::uint32_t>(read_number(device_path + "/queue/logical_block_size", 512));
    if (disk.logical_block_size == 0)
        disk.logical_block_size = 512;
    disk.read_only = read_number(device_path + "/ro", 0) != 0;
    disk.removable = read_number(device_path + "/removable", 0) != 0;
    disk.vendor = trimmed(read_host_file(device_path + "/device/vendor"));
    disk.model = trimmed(read_host_file(device_path + "/device/model"));
    disk.bus_type = bus_of(device_path);
    disk.usb_port = usb_port_of(device_path);
    if (!disk.usb_port.empty())
        disk.serial = trimmed(read_host_file(usb_device_folder_of(device_path) + "/serial"));
    // Kernels before 5.15 have no diskseq: another medium, or another disk under the same name,
    // is then told apart only where it sits, its size or its model.
    disk.identity = diskseq_identity(device_path);
    if (disk.identity.empty())
        disk.identity = "dev " + read_host_file(device_path + "/dev") + " at " + device_path
            + " size " + std::to_string(disk.size_bytes) + " model " + disk.vendor + " "
            + disk.model;
    for (const std::string& entry : host_folder_entries(device_path)) {
        // The kernel names a partition after its disk (sda1, nvme0n1p1): the disk's attributes
        // need not be looked into, which makes most of the cost of reading a disk.
        if (entry.size() <= name.size() || entry.compare(0, name.size(), name) != 0)
            continue;
        std::string number = read_host_file(device_path + "/" + entry + "/partition");
        if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0])))
            continue;
        disk.partitions.push_back({entry, static_cast<std::uint32_t>(std::strtoul(number.c_str(), nullptr, 10))});
    }
    std::sort(disk.partitions.begin(), disk.partitions.end(),
              [](const sysfs_partition& a, const sysfs_partition& b) { return a.number < b.number; });
    return true;
}

std::string diskseq_identity(const std::string& device_path)
{
    const std::string diskseq = read_host_file(device_path + "/diskseq");
    return diskseq.empty() ? std::string() : "diskseq " + diskseq;
}

std::vector<sysfs_disk> scan_sysfs_disks()
{
    std::vector<std::string> names = host_folder_entries("/sys/block");
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return !is_whole_disk_name(name); }),
                names.end());
    std::sort(names.begin(), names.end(), natural_less);
    std::vector<sysfs_disk> disks;
    for (const std::string& name : names) {
        sysfs_disk disk;
        if (read_sysfs_disk(name, disk))
            disks.push_back(disk);
    }
    return disks;
}

} // namespace win32
