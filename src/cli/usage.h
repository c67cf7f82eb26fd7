#pragma once
// What --help prints.

namespace cli {

extern const char* const usage_text;

} // namespace cli
