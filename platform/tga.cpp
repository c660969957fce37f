// The reader of uncompressed 32-bit TGA images (the font image).
#include "platform/tga.h"

#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/platform.h"

bool read_tga_file(const char* path, int& width, int& height, std::vector<uint8_t>& pixels) {
  width = height = 0;
  if (!path) return false;
  TempString full = make_full_path(path);
  FileInputStream in;
  if (!in.open(full.c_str())) return false;
  try {
    uint8_t h[18];
    in.read(h, 18);
    int id_len = h[0], cmap_type = h[1], type = h[2];
    int cmap_len = h[5] | h[6] << 8, cmap_bits = h[7];
    int w = h[12] | h[13] << 8, hh = h[14] | h[15] << 8, bpp = h[16];
    if (type != 2 || bpp != 32) throw InputStream::Exception("unsupported TGA format", in.tell());
    if (w == 0 || hh == 0) throw InputStream::Exception("zero-sized TGA image", in.tell());
    // The identification field and any colour map lie between the header
    // and the pixels.
    int skip = id_len + (cmap_type ? cmap_len * ((cmap_bits + 7) / 8) : 0);
    if (skip) in.seekRel(skip);
    int at = in.tell();
    in.seekToEnd(0);
    int64_t avail = int64_t(in.tell()) - at;
    int64_t need = int64_t(w) * hh * 4;
    if (avail < need) throw InputStream::Exception("truncated TGA image", at);
    in.seekTo(at);
    pixels.resize(size_t(need));
    in.read(pixels.data(), int(need));
    width = w;
    height = hh;
  } catch (const InputStream::Exception& e) {
    debug("can't read TGA '%s': %s", full.c_str(), e.message);
    pixels.clear();
    return false;
  }
  return true;
}
