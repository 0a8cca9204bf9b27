#pragma once

// Registers the compiled-in stylesheet and images. They live in a static
// library, so the program and every test call this once before using them.
void initResources();
