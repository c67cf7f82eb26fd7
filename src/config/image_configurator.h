#pragma once
// The rig's configuration document, as the 2048-byte block patched into the image.

#include "config/inputs.h"

#include <QByteArray>

#include <string>

namespace image_configurator {

// Size of every non-empty block.
constexpr int block_size = 2048;

// The document padded with line feeds to exactly block_size bytes, or an empty array when it
// does not fit. Saves `values` (the worker template unexpanded) as the settings only when it fits.
QByteArray configure_image(const std::string& data_folder, inputs values);

} // namespace image_configurator
