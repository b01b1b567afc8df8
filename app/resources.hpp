#pragma once
// The resources held in the program (stylesheet, shortcuts description, logo).

// Registers the bundle under /com/Brenvaldor once; later calls do nothing.
void register_resources();
