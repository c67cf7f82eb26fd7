#pragma once
// A host tree laid out as the Linux kernel lays it out, in a temporary folder R, for the
// Win32 layer to run over: R/sys/block/X links into R/sys/devices/..., partitions are
// subfolders of their disk with a `partition` file, R/sys/class/block links to every disk and
// partition, R/dev/X is a sparse regular file standing for the disk (an empty one for each
// partition), R/proc/self/mountinfo
// and R/proc/self/mounts are the mount tables and R/proc/swaps the swap list.
//
// Constructing a fake_host points KESTREL_HOST_ROOT at its tree and starts the layer over
// (disk numbers, drive letters, journal and injected failures are forgotten), so each test
// can build its own host; only one fake_host should live at a time. Once it is gone the layer
// sees an empty host until the next one is made. Disks can be added,
// unplugged and plugged back while the test runs, as with real hardware.
//
//     fake_host host;
//     fake_host::disk stick = fake_host::usb_stick(8'000'000'000);
//     stick.partitions = {{1 << 20, 1'000'000'000, "/media/stick"}};
//     QString name = host.add(stick);   // "sda"
//     host.remove(name);                // unplugged
//     host.plug_back(name);             // same content and port, a new diskseq

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class fake_host {
public:
    enum class bus { usb, sata, nvme, sd };
    // Kernels before 5.15 give disks no diskseq.
    enum class kernel { with_diskseq, without_diskseq };
    // How the mount tables name the device of a file system: /dev/sda1, /dev/root (a kernel
    // booted without initramfs), a /dev/disk/by-uuid or /dev/disk/by-id link, or the plain
    // name with the anonymous device number btrfs shows in mountinfo.
    enum class source { plain, dev_root, by_uuid, by_id, anonymous_device };

    struct partition {
        qint64 start = 0;    // bytes from the start of the disk
        qint64 size = 0;     // bytes
        QString mount_point; // empty: not mounted
    };

    struct disk {
        bus on = bus::usb;
        qint64 size = 0; // bytes, whole 512-byte units; 0 is a reader slot without a medium
        int logical_block_size = 512;
        bool read_only = false;
        bool removable = true;
        // Not kept for SD cards: the kernel shows no vendor or model for them.
        QString vendor;
        QString model;
        // On USB, the device's serial number; when empty, one made from the port it is plugged into.
        QString serial;
        // On USB, the port ("1-4"); when empty, the next one no stick was plugged into yet.
        QString port;
        // Written as an MBR partition table into the disk and as sysfs partition folders.
        QList<partition> partitions;
        // A file system on the whole disk (no partition table), mounted there when not empty.
        QString mount_point;
        // As real hardware: when the system reads the partition table again, the partitions
        // follow what the disk holds, so none comes back once the layout is deleted. Otherwise
        // they stay as set, as if the system brought the volumes back at once.
        bool rereads_partition_table = false;
    };

    // Ready-made disks; adjust the members before add().
    static disk usb_stick(qint64 size = 16'000'000'000);   // removable, on USB
    static disk usb_hard_disk(qint64 size = 500'000'000'000); // not removable, on USB
    static disk sata_disk(qint64 size = 256'000'000'000);
    static disk nvme_disk(qint64 size = 512'000'000'000);
    static disk sd_card(qint64 size = 32'000'000'000);     // built-in reader
    static disk card_reader_slot();                         // USB reader, no card

    // The tree goes into a new folder in `parent`; when empty, in memory where there is room.
    explicit fake_host(kernel version = kernel::with_diskseq, const QString& parent = QString());
    ~fake_host();
    fake_host(const fake_host&) = delete;
    fake_host& operator=(const fake_host&) = delete;

    // Adds a disk under the first free kernel name (sda.., nvme0n1.., mmcblk0..) and returns it.
    QString add(const disk& blueprint);
    // A block device that is no disk to the layer: loop0, ram0, zram0, dm-0, md0, sr0, nbd0;
    // a dm- or md device rests on the block devices `below`.
    void add_virtual_device(const QString& name, qint64 size = 1 << 20, const QStringList& below = {});
    // Unplugs it: its sysfs folders, its node and its mounts go away.
    void remove(const QString& name);
    // Plugs an unplugged disk in again with its content, its serial number and into its USB
    // port, under the first free name and a new diskseq; returns the name.
    QString plug_back(const QString& name);

    // Partition names are the kernel's: sda1, nvme0n1p1, mmcblk0p1.
    static QString partition_name(const QString& disk_name, int number);

    void mount(const QString& block_device, const QString& mount_point, source shown = source::plain);
    void unmount(const QString& block_device);
    QStringList mount_points(const QString& block_device) const;
    // Turns swap on on a partition (or disk), as /proc/swaps lists it.
    void add_swap(const QString& block_device);

    // Inserts a medium into a reader slot (or changes its size); the node grows with it.
    void set_size(const QString& name, qint64 size);
    // Replaces the sysfs partition folders (and their mounts), as the kernel does when it reads
    // the partition table again: {} after the layout was deleted, or the volumes that come
    // back. The disk's content is left alone.
    void set_partitions(const QString& name, const QList<partition>& partitions);
    // Another medium in a reader under the same name and device number: the old one's mounts
    // go, the new one has its own size, content and partitions (mounted where they say), and
    // a new diskseq where the kernel has one.
    void change_medium(const QString& name, qint64 size, const QList<partition>& partitions);

    QString node_path(const QString& name) const;
    QByteArray read(const QString& name, qint64 offset, qint64 length) const;
    void write(const QString& name, qint64 offset, const QByteArray& data);

private:
    struct plugged {
        disk blueprint;
        QString device_folder; // the disk's folder, relative to R
        QString removal_folder; // what goes when it is unplugged, relative to R
        int major = 0;
        int minor = 0;
    };

    struct mount_line {
        QString block_device;
        QString mount_point;
        QString mountinfo_text;
    };

    QString add_disk(const disk& blueprint, const QString& stashed_node);
    void reread_partition_table(const QString& node);
    QString free_name(bus on) const;
    void write_attribute(const QString& path, const QString& value) const;
    void write_diskseq(const QString& device_folder);
    void link_class_block(const QString& name, const QString& folder) const;
    void write_partition_table(const QString& name, const disk& blueprint);
    void add_partition_folders(const QString& name, const plugged& plugged_disk);
    void remove_partition_folders(const QString& name, const plugged& plugged_disk);
    QString source_path(const QString& block_device, source shown) const;
    QList<mount_line> read_mounts() const;
    void append_line(const QString& file, const QString& line) const;

    QTemporaryDir m_folder;
    QString m_root;
    kernel m_kernel;
    int m_next_mount_id = 24;
    QMap<QString, plugged> m_disks;
    QMap<QString, plugged> m_unplugged;
    int m_next_diskseq = 1;
    int m_next_port = 1;
    int m_next_scsi_host = 0;
    int m_next_controller = 0;
};
