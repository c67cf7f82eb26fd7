#pragma once

// Switches on high-DPI scaling unless the user set one of Qt's scaling variables.
// Must run before the application object is constructed.
void enable_high_dpi_scaling_unless_configured();
