#include "fake_host.h"

#include "memory_folder.h"

#include "win32/test_control.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

const qint64 mbr_sector = 512;

// The kernel pads SCSI vendor and model with spaces to 8 and 16 characters.
QString padded(const QString& text, int width)
{
    return text.leftJustified(width, ' ');
}

QString escaped_mount_field(QString text)
{
    return text.replace("\\", "\\134").replace(" ", "\\040").replace("\t", "\\011");
}

QString unescaped_mount_field(QString text)
{
    return text.replace("\\040", " ").replace("\\011", "\t").replace("\\134", "\\");
}

} // namespace

fake_host::disk fake_host::usb_stick(qint64 size)
{
    disk blueprint;
    blueprint.size = size;
    blueprint.vendor = "Kingston";
    blueprint.model = "DataTraveler 3.0";
    return blueprint;
}

fake_host::disk fake_host::usb_hard_disk(qint64 size)
{
    disk blueprint;
    blueprint.size = size;
    blueprint.removable = false;
    blueprint.vendor = "WD";
    blueprint.model = "Elements 25A2";
    return blueprint;
}

fake_host::disk fake_host::sata_disk(qint64 size)
{
    disk blueprint;
    blueprint.on = bus::sata;
    blueprint.size = size;
    blueprint.removable = false;
    blueprint.vendor = "ATA";
    blueprint.model = "Samsung SSD 860";
    return blueprint;
}

fake_host::disk fake_host::nvme_disk(qint64 size)
{
    disk blueprint;
    blueprint.on = bus::nvme;
    blueprint.size = size;
    blueprint.removable = false;
    blueprint.model = "Samsung SSD 970 EVO Plus 500GB";
    return blueprint;
}

fake_host::disk fake_host::sd_card(qint64 size)
{
    disk blueprint;
    blueprint.on = bus::sd;
    blueprint.size = size;
    blueprint.removable = false;
    return blueprint;
}

fake_host::disk fake_host::card_reader_slot()
{
    disk blueprint;
    blueprint.size = 0;
    blueprint.vendor = "Generic-";
    blueprint.model = "SD/MMC";
    return blueprint;
}

fake_host::fake_host(kernel version, const QString& parent)
    : m_folder((parent.isEmpty() ? memory_folder() : parent) + "/kestrel-fake-host-XXXXXX")
    , m_root(m_folder.path() + "/root")
    , m_kernel(version)
{
    for (const char* folder : {"sys/block", "sys/class/block", "sys/devices", "dev/disk", "proc/self"})
        QDir().mkpath(m_root + "/" + folder);
    QDir().mkpath(m_folder.path() + "/unplugged");
    // The kernel's own file systems come first, as on a real host.
    write_attribute("proc/self/mounts", "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
                                        "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0");
    write_attribute("proc/self/mountinfo",
                    "22 1 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
                    "23 1 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw");
    write_attribute("proc/swaps", "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority");
    qputenv("KESTREL_HOST_ROOT", m_root.toUtf8());
    win32::test_control::reset();
    win32::test_control::on_partition_table_reread(
        [this](const std::string& node) { reread_partition_table(QString::fromStdString(node)); });
}

fake_host::~fake_host()
{
    win32::test_control::on_partition_table_reread(nullptr);
}

// Only an MBR is told apart: a disk without its signature holds no partition.
void fake_host::reread_partition_table(const QString& node)
{
    const QString name = QFileInfo(node).fileName();
    const auto plugged_disk = m_disks.constFind(name);
    if (plugged_disk != m_disks.constEnd() && node_path(name) == node
        && plugged_disk->blueprint.rereads_partition_table
        && read(name, 510, 2) != QByteArray("\x55\xaa", 2))
        set_partitions(name, {});
}

QString fake_host::partition_name(const QString& disk_name, int number)
{
    bool ends_in_digit = !disk_name.isEmpty() && disk_name.back().isDigit();
    return disk_name + (ends_in_digit ? "p" : "") + QString::number(number);
}

QString fake_host::free_name(bus on) const
{
    auto taken = [&](const QString& name) { return m_disks.contains(name); };
    if (on == bus::nvme || on == bus::sd) {
        for (int index = 0;; ++index) {
            QString name = on == bus::nvme ? QString("nvme%1n1").arg(index)
                                           : QString("mmcblk%1").arg(index);
            if (!taken(name))
                return name;
        }
    }
    for (int index = 0;; ++index) {
        QString suffix;
        for (int rest = index + 1; rest > 0; rest = (rest - 1) / 26)
            suffix.prepend(QChar('a' + (rest - 1) % 26));
        if (!taken("sd" + suffix))
            return "sd" + suffix;
    }
}

void fake_host::write_attribute(const QString& path, const QString& value) const
{
    QDir().mkpath(QFileInfo(m_root + "/" + path).path());
    QFile file(m_root + "/" + path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write((value + "\n").toUtf8());
}

void fake_host::append_line(const QString& path, const QString& line) const
{
    QFile file(m_root + "/" + path);
    file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.write((line + "\n").toUtf8());
}

void fake_host::write_diskseq(const QString& device_folder)
{
    if (m_kernel == kernel::with_diskseq)
        write_attribute(device_folder + "/diskseq", QString::number(m_next_diskseq++));
}

// R/sys/class/block/X links to the folder of every disk and partition, as in the kernel.
void fake_host::link_class_block(const QString& name, const QString& folder) const
{
    QString link = QDir(m_root + "/sys/class/block").relativeFilePath(m_root + "/" + folder);
    symlink(link.toUtf8().constData(), (m_root + "/sys/class/block/" + name).toUtf8().constData());
}

QString fake_host::add(const disk& blueprint)
{
    return add_disk(blueprint, QString());
}

QString fake_host::add_disk(const disk& blueprint, const QString& stashed_node)
{
    QString name = free_name(blueprint.on);
    plugged plugged_disk;
    plugged_disk.blueprint = blueprint;
    QString pci = "sys/devices/pci0000:00";
    QString device_attributes; // the folder that holds vendor and model
    int index = m_next_controller++;
    switch (blueprint.on) {
    case bus::usb:
    case bus::sata: {
        int host = m_next_scsi_host++;
        QString scsi = QString("host%1/target%1:0:0/%1:0:0:0").arg(host);
        if (blueprint.on == bus::usb) {
            const QString port = blueprint.port.isEmpty() ? QString("1-%1").arg(m_next_port++) : blueprint.port;
            // Plugged back, it is the same stick in the same port.
            plugged_disk.blueprint.port = port;
            plugged_disk.removal_folder = pci + "/0000:00:14.0/usb1/" + port;
            write_attribute(plugged_disk.removal_folder + "/serial",
                            blueprint.serial.isEmpty() ? "KST" + port.mid(2).rightJustified(9, '0') : blueprint.serial);
            device_attributes = plugged_disk.removal_folder + "/" + port + ":1.0/" + scsi;
        } else {
            plugged_disk.removal_folder = pci + QString("/0000:00:17.0/ata%1").arg(index + 1);
            device_attributes = plugged_disk.removal_folder + "/" + scsi;
        }
        plugged_disk.device_folder = device_attributes + "/block/" + name;
        write_attribute(device_attributes + "/vendor", padded(blueprint.vendor, 8));
        write_attribute(device_attributes + "/model", padded(blueprint.model, 16));
        plugged_disk.major = 8;
        plugged_disk.minor = (name.mid(2).at(0).unicode() - 'a') * 16;
        break;
    }
    case bus::nvme: {
        QString controller = name.left(name.indexOf('n', 4));
        plugged_disk.removal_folder = pci + QString("/0000:00:1d.0/0000:3d:00.%1").arg(index);
        device_attributes = plugged_disk.removal_folder + "/nvme/" + controller;
        plugged_disk.device_folder = device_attributes + "/" + name;
        write_attribute(device_attributes + "/model", padded(blueprint.model, 40));
        plugged_disk.major = 259;
        plugged_disk.minor = index * 8;
        break;
    }
    case bus::sd: {
        QString host = QString("mmc%1").arg(name.mid(6));
        plugged_disk.removal_folder = pci + "/0000:00:14.5/mmc_host/" + host + "/" + host + ":0001";
        device_attributes = plugged_disk.removal_folder;
        plugged_disk.device_folder = device_attributes + "/block/" + name;
        write_attribute(device_attributes + "/name", "SD32G");
        plugged_disk.major = 179;
        plugged_disk.minor = name.mid(6).toInt() * 8;
        break;
    }
    }

    QString folder = plugged_disk.device_folder;
    write_attribute(folder + "/size", QString::number(blueprint.size / 512));
    write_attribute(folder + "/ro", blueprint.read_only ? "1" : "0");
    write_attribute(folder + "/removable", blueprint.removable ? "1" : "0");
    write_diskseq(folder);
    write_attribute(folder + "/dev", QString("%1:%2").arg(plugged_disk.major).arg(plugged_disk.minor));
    write_attribute(folder + "/queue/logical_block_size", QString::number(blueprint.logical_block_size));
    QString device_link = QDir(m_root + "/" + folder).relativeFilePath(m_root + "/" + device_attributes);
    symlink(device_link.toUtf8().constData(), (m_root + "/" + folder + "/device").toUtf8().constData());
    QString block_link = QDir(m_root + "/sys/block").relativeFilePath(m_root + "/" + folder);
    symlink(block_link.toUtf8().constData(), (m_root + "/sys/block/" + name).toUtf8().constData());
    link_class_block(name, folder);

    QString node = node_path(name);
    if (!stashed_node.isEmpty()) {
        QFile::rename(stashed_node, node);
    } else {
        QFile file(node);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.resize(blueprint.size);
    }
    m_disks.insert(name, plugged_disk);
    if (stashed_node.isEmpty())
        write_partition_table(name, blueprint);
    add_partition_folders(name, plugged_disk);
    if (!blueprint.mount_point.isEmpty() && blueprint.partitions.isEmpty())
        mount(name, blueprint.mount_point);
    return name;
}

void fake_host::write_partition_table(const QString& name, const disk& blueprint)
{
    if (blueprint.partitions.isEmpty() || blueprint.size < mbr_sector)
        return;
    QByteArray table(mbr_sector, '\0');
    for (int i = 0; i < blueprint.partitions.size() && i < 4; ++i) {
        char* entry = table.data() + 446 + 16 * i;
        entry[4] = 0x0c; // FAT32 with LBA
        quint32 first = static_cast<quint32>(blueprint.partitions[i].start / 512);
        quint32 count = static_cast<quint32>(blueprint.partitions[i].size / 512);
        for (int byte = 0; byte < 4; ++byte) {
            entry[8 + byte] = static_cast<char>(first >> (8 * byte));
            entry[12 + byte] = static_cast<char>(count >> (8 * byte));
        }
    }
    table[510] = 0x55;
    table[511] = static_cast<char>(0xaa);
    write(name, 0, table);
}

void fake_host::add_partition_folders(const QString& name, const plugged& plugged_disk)
{
    for (int i = 0; i < plugged_disk.blueprint.partitions.size(); ++i) {
        const partition& part = plugged_disk.blueprint.partitions[i];
        QString part_name = partition_name(name, i + 1);
        QString folder = plugged_disk.device_folder + "/" + part_name;
        write_attribute(folder + "/partition", QString::number(i + 1));
        write_attribute(folder + "/start", QString::number(part.start / 512));
        write_attribute(folder + "/size", QString::number(part.size / 512));
        write_attribute(folder + "/ro", "0");
        write_attribute(folder + "/dev", QString("%1:%2").arg(plugged_disk.major).arg(plugged_disk.minor + i + 1));
        link_class_block(part_name, folder);
        // Only the disk's node holds content; a partition's stands for it by name.
        QFile(node_path(part_name)).open(QIODevice::WriteOnly);
        if (!part.mount_point.isEmpty())
            mount(part_name, part.mount_point);
    }
}

void fake_host::add_virtual_device(const QString& name, qint64 size, const QStringList& below)
{
    QString folder = "sys/devices/virtual/block/" + name;
    write_attribute(folder + "/size", QString::number(size / 512));
    write_attribute(folder + "/ro", "0");
    write_attribute(folder + "/removable", "0");
    write_diskseq(folder);
    // Majors are the kernel's own for these drivers; minors only need to be distinct.
    const QMap<QString, int> majors = {{"loop", 7}, {"ram", 1}, {"zram", 251}, {"dm-", 254},
                                       {"md", 9}, {"sr", 11}, {"nbd", 43}};
    int major = 240;
    for (auto entry = majors.begin(); entry != majors.end(); ++entry)
        if (name.startsWith(entry.key()))
            major = entry.value();
    write_attribute(folder + "/dev", QString("%1:%2").arg(major).arg(m_next_controller++));
    // A device below lists what stacks on it among its holders.
    for (const QString& device : below) {
        QString holders = QFileInfo(m_root + "/sys/class/block/" + device).canonicalFilePath() + "/holders";
        QDir().mkpath(holders);
        QString above = QFileInfo(m_root + "/" + folder).canonicalFilePath();
        symlink(QDir(holders).relativeFilePath(above).toUtf8().constData(),
                (holders + "/" + name).toUtf8().constData());
    }
    symlink(("../devices/virtual/block/" + name).toUtf8().constData(),
            (m_root + "/sys/block/" + name).toUtf8().constData());
    link_class_block(name, folder);
    QFile node(node_path(name));
    node.open(QIODevice::WriteOnly | QIODevice::Truncate);
    node.resize(size);
}

void fake_host::remove(const QString& name)
{
    if (!m_disks.contains(name))
        return;
    plugged plugged_disk = m_disks.take(name);
    unmount(name);
    remove_partition_folders(name, plugged_disk);
    QFile::remove(m_root + "/sys/block/" + name);
    QFile::remove(m_root + "/sys/class/block/" + name);
    QDir(m_root + "/" + plugged_disk.removal_folder).removeRecursively();
    QFile::rename(node_path(name), m_folder.path() + "/unplugged/" + name);
    m_unplugged.insert(name, plugged_disk);
}

QString fake_host::plug_back(const QString& name)
{
    if (!m_unplugged.contains(name))
        return QString();
    plugged plugged_disk = m_unplugged.take(name);
    plugged_disk.blueprint.mount_point.clear();
    for (partition& part : plugged_disk.blueprint.partitions)
        part.mount_point.clear();
    return add_disk(plugged_disk.blueprint, m_folder.path() + "/unplugged/" + name);
}

QString fake_host::source_path(const QString& block_device, source shown) const
{
    QString link;
    switch (shown) {
    case source::plain:
    case source::anonymous_device:
        return "/dev/" + block_device;
    case source::dev_root:
        return "/dev/root";
    case source::by_uuid:
        link = QString("by-uuid/%1-5e8c-4f21-9a7d-0c3b2e1f6a4d").arg(m_next_mount_id, 8, 16, QChar('0'));
        break;
    case source::by_id:
        link = "by-id/usb-Fake_Disk_" + block_device + "-0:0";
        break;
    }
    QDir().mkpath(QFileInfo(m_root + "/dev/disk/" + link).path());
    symlink(("../../" + block_device).toUtf8().constData(),
            (m_root + "/dev/disk/" + link).toUtf8().constData());
    return "/dev/disk/" + link;
}

void fake_host::mount(const QString& block_device, const QString& mount_point, source shown)
{
    int id = m_next_mount_id++;
    QFile dev_file(m_root + "/sys/class/block/" + block_device + "/dev");
    dev_file.open(QIODevice::ReadOnly);
    QString number = shown == source::anonymous_device ? QString("0:%1").arg(id)
                                                       : QString::fromUtf8(dev_file.readAll()).trimmed();
    QString type = shown == source::anonymous_device ? "btrfs" : "vfat";
    QString from = escaped_mount_field(source_path(block_device, shown));
    QString at = escaped_mount_field(mount_point);
    append_line("proc/self/mountinfo", QString("%1 1 %2 / %3 rw,relatime shared:%1 - %4 %5 rw")
                                           .arg(id).arg(number, at, type, from));
    append_line("proc/self/mounts", QString("%1 %2 %3 rw,relatime 0 0").arg(from, at, type));
}

void fake_host::unmount(const QString& block_device)
{
    QStringList kept;
    QStringList removed;
    for (const mount_line& line : read_mounts()) {
        if (line.block_device == block_device)
            removed.append(line.mount_point);
        else
            kept.append(line.mountinfo_text);
    }
    if (removed.isEmpty())
        return;
    write_attribute("proc/self/mountinfo", kept.join('\n'));
    QFile mounts(m_root + "/proc/self/mounts");
    mounts.open(QIODevice::ReadOnly);
    QStringList kept_mounts;
    for (const QString& line : QString::fromUtf8(mounts.readAll()).split('\n', Qt::SkipEmptyParts))
        if (!removed.contains(unescaped_mount_field(line.section(' ', 1, 1))))
            kept_mounts.append(line);
    mounts.close();
    write_attribute("proc/self/mounts", kept_mounts.join('\n'));
}

QStringList fake_host::mount_points(const QString& block_device) const
{
    QStringList points;
    for (const mount_line& line : read_mounts())
        if (line.block_device == block_device)
            points.append(line.mount_point);
    return points;
}

void fake_host::add_swap(const QString& block_device)
{
    append_line("proc/swaps", "/dev/" + block_device + "\t\t\t\tpartition\t1048572\t\t0\t\t-2");
}

// What mountinfo says, with each line's device found by its number, as the kernel means it.
QList<fake_host::mount_line> fake_host::read_mounts() const
{
    QMap<QString, QString> names;
    const QDir::Filters entries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    for (const QString& name : QDir(m_root + "/sys/class/block").entryList(entries)) {
        QFile dev_file(m_root + "/sys/class/block/" + name + "/dev");
        if (dev_file.open(QIODevice::ReadOnly))
            names.insert(QString::fromUtf8(dev_file.readAll()).trimmed(), name);
    }
    QList<mount_line> lines;
    QFile file(m_root + "/proc/self/mountinfo");
    file.open(QIODevice::ReadOnly);
    for (const QString& text : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        QStringList fields = text.split(' ');
        QString mounted = fields.value(fields.indexOf("-") + 2);
        QString name = names.value(fields.value(2));
        if (fields.value(2).startsWith("0:") && mounted.startsWith("/dev/"))
            name = mounted.mid(5);
        lines.append({name, unescaped_mount_field(fields.value(4)), text});
    }
    return lines;
}

void fake_host::set_size(const QString& name, qint64 size)
{
    if (!m_disks.contains(name))
        return;
    m_disks[name].blueprint.size = size;
    write_attribute(m_disks[name].device_folder + "/size", QString::number(size / 512));
    QFile(node_path(name)).resize(size);
}

void fake_host::remove_partition_folders(const QString& name, const plugged& plugged_disk)
{
    for (int i = 0; i < plugged_disk.blueprint.partitions.size(); ++i) {
        QString part_name = partition_name(name, i + 1);
        unmount(part_name);
        QDir(m_root + "/" + plugged_disk.device_folder + "/" + part_name).removeRecursively();
        QFile::remove(m_root + "/sys/class/block/" + part_name);
        QFile::remove(node_path(part_name));
    }
}

void fake_host::set_partitions(const QString& name, const QList<partition>& partitions)
{
    if (!m_disks.contains(name))
        return;
    plugged& plugged_disk = m_disks[name];
    remove_partition_folders(name, plugged_disk);
    plugged_disk.blueprint.partitions = partitions;
    add_partition_folders(name, plugged_disk);
}

void fake_host::change_medium(const QString& name, qint64 size, const QList<partition>& partitions)
{
    if (!m_disks.contains(name))
        return;
    set_partitions(name, {});
    unmount(name);
    write_diskseq(m_disks[name].device_folder);
    QFile(node_path(name)).resize(0);
    set_size(name, size);
    m_disks[name].blueprint.partitions = partitions;
    write_partition_table(name, m_disks[name].blueprint);
    set_partitions(name, partitions);
}

QString fake_host::node_path(const QString& name) const
{
    return m_root + "/dev/" + name;
}

QByteArray fake_host::read(const QString& name, qint64 offset, qint64 length) const
{
    QFile file(node_path(name));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return QByteArray();
    return file.read(length);
}

void fake_host::write(const QString& name, qint64 offset, const QByteArray& data)
{
    QFile file(node_path(name));
    if (file.open(QIODevice::ReadWrite) && file.seek(offset))
        file.write(data);
}
