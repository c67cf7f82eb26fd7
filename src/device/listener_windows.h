#pragma once
// A worker that runs on a thread of its own: either watches which USB mass-storage devices
// are present, or waits for a cleared disk's volumes to come back and locks them.

#include "device/device.h"

#include <QObject>

class listener_windows : public QObject {
    Q_OBJECT

public:
    // The disk for find_volumes(); its owner keeps it alive until unmount_finished().
    void set_device(device* dev);

signals:
    void dev_changed();
    void unmount_finished();
    // Instead of unmount_finished(): the disk was pulled out while its volumes were awaited.
    void disk_gone();

public slots:
    // Polls until the thread is asked to stop; emits dev_changed() twice per change.
    void start_listening();
    // Locks the disk's reappearing volumes for up to 15 s, or until the disk's re-read layout
    // holds no partition, then emits unmount_finished(); emits disk_gone() at once when the
    // disk is pulled out meanwhile.
    void find_volumes();

private:
    device* m_device = nullptr;
};
