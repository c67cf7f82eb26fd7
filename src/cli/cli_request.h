#pragma once
// What the command line asks for:
//
//   --cli list [--json]
//   --cli history [--json]
//   --cli flash (--disk N|/dev/sdX ... | --all) [--yes] [--image FILE.gz] [--btc ADDR]
//       [--worker TEMPLATE] [--group G] [--location CODE] [--ssid S] [--wifi-key K]
//       [--ssh-key KEY] [--no-verify] [--latest-only]
//   --cli watch [the options of flash but --disk and --all] [--again] [--json]
//   --cli inspect [--disk N|/dev/sdX|sdX ... | --all] [--json]
//
// Options with a value also take the form --option=VALUE.

#include "config/inputs.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct request {
    enum class command { list, history, flash, watch, contents };

    command what = command::list;
    // list and history: the rows as JSON; watch: one JSON object per event and line.
    bool json = false;
    // Disks as named: numbers as listed or kernel devices ("/dev/sdb"), in the order given.
    std::vector<std::string> disks;
    bool all = false;
    bool yes = false;
    bool verify = true;
    // A cached release does not stand in for a latest release that cannot be had.
    bool latest_only = false;
    // watch: a stick flashed and verified a moment ago is flashed again.
    bool again = false;
    // A local gzip image; empty: the latest release.
    std::string image;

    // Values given on the command line; the others come from the saved settings.
    std::optional<std::string> btc;
    std::optional<std::string> worker;
    std::optional<std::string> group;
    std::optional<std::string> location;
    std::optional<std::string> ssid;
    std::optional<std::string> wireless_key;
    std::optional<std::string> ssh_key;

    // `saved` with the values given here put in place.
    inputs values_over(inputs saved) const;
};

struct parse_result {
    request parsed;
    // Why the arguments were refused; empty when they were taken.
    std::string error;
};

parse_result parse(const std::vector<std::string>& arguments);

} // namespace cli
