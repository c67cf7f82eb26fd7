#include "disk_registry.h"

#include "block_devices.h"
#include "mounts.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace win32 {
namespace {

struct known_disk {
    std::string name;
    std::string identity;
    std::uint32_t number = 0;
};

struct registry {
    std::mutex mutex;
    std::vector<known_disk> disks;
    std::uint32_t next_number = 0;
    // (disk name and identity, partition number) -> letter
    std::map<std::pair<std::string, std::uint32_t>, char> letters;
};

registry& the_registry()
{
    static registry instance;
    return instance;
}

// The device number of the file system at "/"; empty when none is known.
std::string mounted_at_root(const std::vector<mount_entry>& mounts)
{
    std::string number;
    for (const mount_entry& mount : mounts)
        if (mount.mount_point == "/")
            number = mount.device_number;
    return number;
}

std::uint32_t number_for(registry& state, const sysfs_disk& disk,
                         std::vector<known_disk>& still_present)
{
    for (const known_disk& known : state.disks)
        if (known.name == disk.name && known.identity == disk.identity) {
            still_present.push_back(known);
            return known.number;
        }
    still_present.push_back({disk.name, disk.identity, state.next_number});
    return state.next_number++;
}

char free_letter(const std::map<std::pair<std::string, std::uint32_t>, char>& letters,
                 bool holds_root)
{
    auto taken = [&](char letter) {
        return std::any_of(letters.begin(), letters.end(),
                           [&](const auto& entry) { return entry.second == letter; });
    };
    if (holds_root && !taken('C'))
        return 'C';
    for (char letter = 'D'; letter <= 'Z'; ++letter)
        if (!taken(letter))
            return letter;
    return 0;
}

} // namespace

std::set<std::string> device_numbers_of(const sysfs_disk& disk)
{
    std::set<std::string> numbers = device_numbers_with_holders(disk.name);
    for (const sysfs_partition& partition : disk.partitions) {
        std::set<std::string> partition_numbers = device_numbers_with_holders(partition.name);
        numbers.insert(partition_numbers.begin(), partition_numbers.end());
    }
    return numbers;
}

host_snapshot scan_host()
{
    std::vector<sysfs_disk> disks = scan_sysfs_disks();
    mount_table table = read_mount_table();
    std::string root_number = mounted_at_root(table.mounts);

    registry& state = the_registry();
    std::lock_guard<std::mutex> lock(state.mutex);
    host_snapshot snapshot;
    std::vector<known_disk> still_present;
    std::vector<host_volume> volumes;
    std::vector<std::pair<std::string, std::uint32_t>> volume_keys;
    std::vector<bool> volume_holds_root;
    for (const sysfs_disk& disk : disks) {
        std::uint32_t number = number_for(state, disk, still_present);
        std::string disk_key = disk.name + " " + disk.identity;
        std::set<std::string> disk_numbers = device_numbers_with_holders(disk.name);
        if (disk.partitions.empty() && table.uses(disk_numbers)) {
            volumes.push_back({0, number, disk.name, 0, disk.removable});
            volume_keys.emplace_back(disk_key, 0);
            volume_holds_root.push_back(disk_numbers.count(root_number));
        }
        for (const sysfs_partition& partition : disk.partitions) {
            std::set<std::string> partition_numbers = device_numbers_with_holders(partition.name);
            volumes.push_back({0, number, partition.name, partition.number, disk.removable});
            volume_keys.emplace_back(disk_key, partition.number);
            volume_holds_root.push_back(partition_numbers.count(root_number));
            disk_numbers.insert(partition_numbers.begin(), partition_numbers.end());
        }
        snapshot.disks.push_back({number, disk, table.uses_for_system(disk_numbers)});
    }
    // Numbers of disks that are gone are never handed out again.
    state.disks = still_present;

    for (auto entry = state.letters.begin(); entry != state.letters.end();)
        entry = std::find(volume_keys.begin(), volume_keys.end(), entry->first) == volume_keys.end()
            ? state.letters.erase(entry)
            : std::next(entry);
    for (size_t i = 0; i < volumes.size(); ++i) {
        auto known = state.letters.find(volume_keys[i]);
        if (known == state.letters.end()) {
            char letter = free_letter(state.letters, volume_holds_root[i]);
            if (!letter)
                continue;
            known = state.letters.emplace(volume_keys[i], letter).first;
        }
        volumes[i].letter = known->second;
        snapshot.volumes.push_back(volumes[i]);
    }
    std::sort(snapshot.volumes.begin(), snapshot.volumes.end(),
              [](const host_volume& a, const host_volume& b) { return a.letter < b.letter; });
    return snapshot;
}

bool find_disk(std::uint32_t number, host_disk& disk)
{
    for (const host_disk& present : scan_host().disks)
        if (present.number == number) {
            disk = present;
            return true;
        }
    return false;
}

bool find_volume(char letter, host_volume& volume)
{
    for (const host_volume& present : scan_host().volumes)
        if (present.letter == letter) {
            volume = present;
            return true;
        }
    return false;
}

bool disk_is_in_use(const sysfs_disk& disk)
{
    return read_mount_table().uses(device_numbers_of(disk));
}

bool disk_holds_system(const sysfs_disk& disk)
{
    return read_mount_table().uses_for_system(device_numbers_of(disk));
}

void forget_disk_registry()
{
    registry& state = the_registry();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.disks.clear();
    state.next_number = 0;
    state.letters.clear();
}

} // namespace win32
