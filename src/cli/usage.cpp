#include "cli/usage.h"

namespace cli {

const char* const usage_text =
    "Usage:\n"
    "  kestrel-flash-tool [DATA FOLDER]\n"
    "      opens the window\n"
    "  kestrel-flash-tool --cli list [--json]\n"
    "      lists the USB disks that can be flashed: number, physical-drive path, name, size\n"
    "  kestrel-flash-tool --cli flash (--disk N ... | --all) [OPTIONS]\n"
    "      flashes the disks at once, the k-th with the k-th worker name of the template\n"
    "  kestrel-flash-tool --cli watch [OPTIONS]\n"
    "      a flashing station: flashes every USB stick plugged in from now on, each with the\n"
    "      next worker name, until Ctrl-C; the options of flash, but --disk and --all\n"
    "  kestrel-flash-tool --help\n"
    "\n"
    "Options of flash:\n"
    "  --disk N          a disk by its number in the list; once per disk\n"
    "  --all             every disk in the list up to 64 GiB\n"
    "  --yes             erase without asking; a disk over 64 GiB needs it, and --disk\n"
    "  --image FILE.gz   this gzip image instead of the latest release\n"
    "  --no-verify       no reading back of what was written\n"
    "  --btc ADDR  --worker TEMPLATE  --group G  --location eu|usa\n"
    "  --ssid S  --wifi-key K  --ssh-key KEY\n"
    "                    the rig's configuration; what is not given comes from the saved\n"
    "                    settings, which keep the values used and the worker counted on\n"
    "\n"
    "Anywhere: --release-service URL, --file-server URL (https://, or http:// to a loopback\n"
    "address) fetch the release from a mirror.\n"
    "\n"
    "The command line writes raw disks: run it as root, for example with sudo.\n"
    "Exit status: 0 every disk flashed, 1 a disk failed, 2 bad arguments, 130 interrupted.\n";

} // namespace cli
