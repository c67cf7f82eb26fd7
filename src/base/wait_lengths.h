#pragma once
// How long the program waits on the clock for what a disk, the system or a server does. Every
// such wait reads its length here, so that the tests can shorten them all in one place and
// still see what happens when a wait runs out.

#include <chrono>
#include <cstdint>

struct wait_lengths {
    using milliseconds = std::chrono::milliseconds;

    // Time the system gets to bring a cleared disk's volumes up again before they are looked for.
    milliseconds settle {2000};
    // How long the volumes of a cleared disk are looked for.
    milliseconds volume_wait {15000};
    // Between two looks for those volumes.
    milliseconds volume_poll {50};
    // How often the USB storage devices are counted.
    milliseconds usb_poll {500};
    // After a change in that count, when the disks are listed once more: their volumes come up
    // a little later than the devices.
    milliseconds repeat_delay {1500};
    // A request that receives nothing for this long has failed.
    milliseconds network_silence {30000};
    // A download that receives fewer than slow_download_bytes within a window of this length
    // has failed too: a server that trickles would otherwise keep it going for days. 30 KiB in
    // 30 s, an average of 1 KiB/s, is far below any line an image can be fetched over, and
    // the window is long enough to ride out a short stall.
    milliseconds slow_download_window {30000};
    std::int64_t slow_download_bytes {30 * 1024};
    // How long a change of the settings waits for another process's change to end.
    milliseconds settings_lock {10000};
    // How long a look at the claims on a cache's entries waits for another process's look to end.
    milliseconds cache_lock {10000};
    // How often a run that waits for another process's download of the same release looks at it.
    milliseconds download_poll {500};
    // How long, in all, a first flash lets the sticks wait for the decompressed image being
    // kept beside them; past that the image is not kept, rather than slowing every stick to the
    // pace of the data folder's disk.
    milliseconds kept_image_patience {2000};

    // The lengths of this process; read when a wait starts.
    static wait_lengths current();
    // For tests: the waits started from now on take these lengths.
    static void set(const wait_lengths& lengths);
};
