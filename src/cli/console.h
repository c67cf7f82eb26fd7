#pragma once
// Where the command line reads its answer and writes what it has to say.

#include <istream>
#include <ostream>

namespace cli {

struct console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Standard output is a terminal: progress is redrawn in place.
    bool terminal = false;
};

} // namespace cli
