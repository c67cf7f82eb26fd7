#pragma once
// The rig's configuration document, as the 2048-byte block patched into the image.

#include "config/inputs.h"

#include <QByteArray>

namespace image_configurator {

// Size of every non-empty block.
constexpr int block_size = 2048;

// The document padded with line feeds to exactly block_size bytes, or an empty array when it
// does not fit. The settings are saved by the run, with the worker names it hands out
// (run/worker_names.h), not here: a save of these values would put the counter back.
QByteArray configuration_block(const inputs& values);

} // namespace image_configurator
