#include "kernel_partitions.h"

#include "fake_host.h"

#include <QDir>
#include <QFile>

namespace kernel_partitions {

namespace {

QByteArray read_attribute(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll().trimmed();
}

void write_attribute(const QString& path, const QString& value)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write((value + "\n").toUtf8());
}

} // namespace

void bring_up(const fake_host& host, const QString& disk_name, int number, qint64 start, qint64 size)
{
    const QString disk_folder = host.root() + "/sys/block/" + disk_name;
    const QString folder = disk_folder + "/" + fake_host::partition_name(disk_name, number);
    QDir().mkpath(folder);
    const QList<QByteArray> disk_dev = read_attribute(disk_folder + "/dev").split(':');
    write_attribute(folder + "/dev", QString("%1:%2").arg(QString(disk_dev.value(0)))
                                         .arg(disk_dev.value(1).toInt() + number));
    write_attribute(folder + "/start", QString::number(start / 512));
    write_attribute(folder + "/size", QString::number(size / 512));
    write_attribute(folder + "/ro", "0");
    // Written last: a folder with this file is a partition.
    write_attribute(folder + "/partition", QString::number(number));
}

} // namespace kernel_partitions
