#pragma once

// Pulls the embedded icon into the program: the resource lives in a static
// library, whose unreferenced objects the linker would otherwise drop. Every
// window calls it before building its form; repeated calls are harmless.
void initAppResources();
