#pragma once
// Screenshots written as PNG files and the reader of uncompressed 32-bit TGA
// images.
#include <cstdint>
#include <string>

#include "containers/dyn_array.h"

// Saves what the window shows as "shots/shot<date>_<time>.png" (under the
// user's data folder when the program folder cannot be written).
void take_screenshot();
// Pixels of the window's visible part as bytes B, G, R, A, rows from the top;
// null when nothing can be captured. Valid until release_capture().
uint8_t* capture_front_buffer(int& width, int& height, int& pitch);
void release_capture();
// Writes the last drawn frame as a PNG file: an absolute path as given, a
// relative one in the program folder or, when that cannot be written, in the
// user's data folder. A failure is logged and shown with the path and the
// reason.
bool save_backbuffer_png(const char* path);
// Encodes B, G, R, A pixels (rows from the top) as a PNG file with opaque
// alpha; false when encoding or writing fails, with the reason (the system's
// error text) in `why`.
bool write_bgra_png(const char* full_path, const uint8_t* pixels, int width, int height, int pitch,
                    std::string* why = nullptr);

// Reads an uncompressed 32-bit TGA: pixels in file row order, bytes B, G, R, A
// (the base's reader, into the device layer's array type).
bool read_tga(const char* path, int& width, int& height, DynArray<uint8_t>& pixels);
