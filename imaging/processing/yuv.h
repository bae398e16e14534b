// YUV (BT.601, studio range) to RGB for the video-frame readers.
#pragma once

#include <cstdint>

// Writes blue, green, red of one pixel to Dst (3 bytes).
void IEYUVToRGB(int Y, int U, int V, void* Dst);
