#pragma once
// The record of every stick flashed: "sticks flashed.jsonl" in the data folder, one JSON object
// a line, a line per stick per run. Every process on the folder (windows, command lines,
// stations) appends to it under the data folder's lock, so that a farm has one account of what
// went onto which stick, and a station can tell a stick it has just flashed from a new one. A
// line cut short by a crash or spoilt by hand costs that line alone.

#include "base/data_file.h"
#include "device/device.h"
#include "run/job_stage.h"

#include <QJsonObject>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flash_record {

extern const char* const file_name;

enum class outcome { verified, written, failed, stopped };

// One line. The members of its JSON object are named as in the comments.
struct entry {
    // "time": ISO 8601 with the UTC offset, when the stick's outcome was recorded.
    std::string time;
    // "path": the physical-drive path; "device": the kernel device; "model": the disk's name.
    std::string path;
    std::string device;
    std::string model;
    // "serial", "port": empty where the host tells none.
    std::string serial;
    std::string port;
    // "size": in bytes.
    std::uint64_t size = 0;
    // "worker": the worker name written.
    std::string worker;
    // "image": the release tag of a release from the cache, else the image file's absolute path.
    std::string image;
    // "md5": the image's MD5 where it is known, else empty.
    std::string md5;
    // "outcome": "verified", "written" (not read back), "failed" or "stopped".
    outcome result = outcome::failed;
    // "failure": the failure's text for a failed stick, else empty.
    std::string failure;
    // "area": where the configuration block went on the stick, in bytes from its start; 0 where
    // it is not known (nothing written, or a line of an older version).
    std::uint64_t area = 0;
};

const char* outcome_word(outcome result);
// A disk's outcome at the end of a run; a disk still pending then has failed.
outcome outcome_of(disk_outcome result);

// An entry for `disk` at this moment, with what the disk record tells of it.
entry entry_for(const device& disk);

QJsonObject to_json(const entry& line);

// Appends a line per entry, in order, each handed to the system as it is written; why not
// when it cannot.
data_file::outcome append(const std::string& data_folder, const std::vector<entry>& entries);

// Every well-formed line, oldest first; none when there is no record.
std::vector<entry> read(const std::string& data_folder);

// The newest line of a stick written (verified or not read back) that is `stick`: the same
// serial number and size, or, for a stick without a serial number, the same kernel device and
// size; nothing when the record has none.
std::optional<entry> last_written(const std::string& data_folder, const device& stick);

// The newest entry of a stick with `stick`'s serial number, size and port that was verified
// within `window` of now, on either side (a clock set back meanwhile does not hide it). A stick
// without a serial number cannot be told from another of its model: it is never found.
std::optional<entry> recently_verified(const std::string& data_folder, const device& stick,
                                       std::chrono::milliseconds window);

} // namespace flash_record
