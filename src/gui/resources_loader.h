#pragma once
// Registers the bundled icons, pictures and fonts.

// kestrel_core is a static library, so the linker drops the bundle unless someone asks for it:
// the program and every test that shows a widget call this once before using ":/" paths.
void load_resources();
