#pragma once
// What the command line's exit status tells a script.

namespace cli::exit_status {

constexpr int done = 0;
// A disk, or the image, failed.
constexpr int failed = 1;
// The arguments, the values or the rights were refused before anything was touched.
constexpr int refused = 2;
// The confirmation was declined or never answered: nothing was written.
constexpr int declined = 3;
// Stopped by Ctrl-C, SIGTERM or SIGHUP, as shells report a SIGINT.
constexpr int interrupted = 130;

} // namespace cli::exit_status
