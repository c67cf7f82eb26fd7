#include "disk_registry.h"

#include "block_devices.h"
#include "call_hooks.h"
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

// How the letters name a volume's disk.
std::string disk_key(const std::string& name, const std::string& identity)
{
    return name + " " + identity;
}

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

// The disk that was given `number`, as the registry knows it; false when none was.
bool numbered_disk(std::uint32_t number, known_disk& found)
{
    registry& state = the_registry();
    std::lock_guard<std::mutex> lock(state.mutex);
    for (const known_disk& known : state.disks)
        if (known.number == number) {
            found = known;
            return true;
        }
    return false;
}

// A disk the registry knows, read alone, as a look at the whole host would find it: false when
// it is gone or another disk took its name, which such a look would tell for certain.
bool read_known_disk(const known_disk& known, sysfs_disk& disk)
{
    return read_sysfs_disk(known.name, disk) && disk.identity == known.identity;
}

// The volume that holds `letter` since an earlier look, read alone with its disk; false when
// the registry gave the letter to none, or its volume is gone.
bool read_lettered_volume(char letter, host_volume& volume)
{
    known_disk owner;
    std::uint32_t partition_number = 0;
    {
        registry& state = the_registry();
        std::lock_guard<std::mutex> lock(state.mutex);
        const auto lettered = std::find_if(state.letters.begin(), state.letters.end(),
                                           [letter](const auto& entry) { return entry.second == letter; });
        if (lettered == state.letters.end())
            return false;
        const auto disk = std::find_if(state.disks.begin(), state.disks.end(), [&](const known_disk& known) {
            return disk_key(known.name, known.identity) == lettered->first.first;
        });
        if (disk == state.disks.end())
            return false;
        owner = *disk;
        partition_number = lettered->first.second;
    }
    sysfs_disk now;
    if (!read_known_disk(owner, now))
        return false;
    std::string block_device;
    if (partition_number == 0) {
        // A whole disk is a volume while a file system on it is mounted.
        if (!now.partitions.empty() || !read_mount_table().uses(device_numbers_with_holders(now.name)))
            return false;
        block_device = now.name;
    }
    for (const sysfs_partition& partition : now.partitions)
        if (partition.number == partition_number)
            block_device = partition.name;
    if (block_device.empty())
        return false;
    volume = {letter, owner.number, block_device, partition_number, now.removable};
    return true;
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
    hooks::before(hooks::call::host_scan, "");
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
        const std::string key = disk_key(disk.name, disk.identity);
        std::set<std::string> disk_numbers = device_numbers_with_holders(disk.name);
        if (disk.partitions.empty() && table.uses(disk_numbers)) {
            volumes.push_back({0, number, disk.name, 0, disk.removable});
            volume_keys.emplace_back(key, 0);
            volume_holds_root.push_back(disk_numbers.count(root_number));
        }
        for (const sysfs_partition& partition : disk.partitions) {
            std::set<std::string> partition_numbers = device_numbers_with_holders(partition.name);
            volumes.push_back({0, number, partition.name, partition.number, disk.removable});
            volume_keys.emplace_back(key, partition.number);
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

bool find_disk(std::uint32_t number, sysfs_disk& disk)
{
    known_disk known;
    if (numbered_disk(number, known) && read_known_disk(known, disk))
        return true;
    for (const host_disk& present : scan_host().disks)
        if (present.number == number) {
            disk = present.info;
            return true;
        }
    return false;
}

bool find_volume(char letter, host_volume& volume)
{
    if (read_lettered_volume(letter, volume))
        return true;
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
