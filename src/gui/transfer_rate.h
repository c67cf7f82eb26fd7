#pragma once
// How fast a flash goes and how long it has left, in the window's words.

#include <QString>
#include <QtGlobal>

namespace transfer_rate {

// "12.3 MB/s, 2 min 5 s left" for `moved` bytes in `elapsed_ns` with `left` bytes to go;
// the speed alone once nothing is left, and nothing before anything has moved.
QString text(qint64 moved, qint64 left, qint64 elapsed_ns);

} // namespace transfer_rate
