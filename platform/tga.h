#pragma once
// Reading uncompressed 32-bit TGA images: both programs draw their text from
// one such image.
#include <cstdint>
#include <vector>

// Reads an uncompressed 32-bit TGA (path relative to the program directory
// unless absolute): pixels in file row order, bytes B, G, R, A. False, with
// one log line naming the file, when it is missing, truncated or of another
// format.
bool read_tga_file(const char* path, int& width, int& height, std::vector<uint8_t>& pixels);
