// The saved-game file's container: header, checksum, zstd payload, and the
// atomic write with a backup of the file it replaces.
#include "app/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr char SAVE_MAGIC[8] = {'T', 'O', 'L', 'V', 'S', 'A', 'V', 'E'};
constexpr int ZSTD_LEVEL = 3;  // fast; the land and water compress well at any level

// Stored as written here, field after field, little-endian.
struct SaveHeader {
  char magic[8];
  uint32_t version;
  uint32_t header_size;
  SaveSummary summary;
  uint64_t payload_size;     // uncompressed
  uint64_t compressed_size;  // bytes that follow the header
  uint64_t checksum;         // FNV-1a over the summary and the uncompressed payload
};
static_assert(sizeof(SaveSummary) == 24 && sizeof(SaveHeader) == 64, "the header layout is part of the format");

uint64_t fnv1a(const void* data, size_t n, uint64_t h = 0xcbf29ce484222325ull) {
  auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 0x100000001b3ull;
  return h;
}

uint64_t checksum_of(const SaveSummary& s, const std::string& payload) {
  return fnv1a(payload.data(), payload.size(), fnv1a(&s, sizeof(s)));
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

bool write_all(int fd, const void* data, size_t n) {
  auto* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w, n -= size_t(w);
  }
  return true;
}

// The whole temporary file, flushed to the disk before it is renamed, so a
// crash never leaves a half-written file under the save's name.
bool write_temp(const std::string& tmp, const SaveHeader& h, const std::string& body, std::string& why) {
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = "can't write " + quoted(tmp) + ": " + std::strerror(errno);
    return false;
  }
  bool ok = write_all(fd, &h, sizeof(h)) && write_all(fd, body.data(), body.size()) && ::fsync(fd) == 0;
  int err = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    why = "can't write " + quoted(tmp) + ": " + std::strerror(err);
    ::unlink(tmp.c_str());
  }
  return ok;
}

// The file being replaced becomes the backup without ever being missing:
// a second name is linked to it and renamed over the old backup. A damaged
// file never pushes a good backup out: it is set aside as FILE.damaged.
bool keep_backup(const std::string& path, std::string& why) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return true;  // nothing to keep yet
  if (!S_ISREG(st.st_mode)) {
    why = "can't save over " + quoted(path) + ": it is not a file";
    return false;
  }
  SaveSummary old_summary;
  std::string old_payload, damage;
  bool old_is_good = read_save_file(path, old_summary, old_payload, damage);
  std::string bak = path + (old_is_good ? SAVE_BACKUP_SUFFIX : SAVE_DAMAGED_SUFFIX);
  std::string link_name = bak + SAVE_TEMP_SUFFIX;
  ::unlink(link_name.c_str());
  if (::link(path.c_str(), link_name.c_str()) != 0 || ::rename(link_name.c_str(), bak.c_str()) != 0) {
    why = "can't keep the previous save as " + quoted(bak) + ": " + std::strerror(errno);
    ::unlink(link_name.c_str());
    return false;
  }
  return true;
}

// A test stands in for a crash between writing the new file and renaming it.
bool crash_requested_after_write() { return std::getenv("TOLVANE_TEST_SAVE_CRASH") != nullptr; }

bool read_whole(const std::string& path, std::string& out, std::string& why) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    why = "can't read " + quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    why = quoted(path) + " is not a saved game: it is not a file";
    return false;
  }
  if (uint64_t(st.st_size) > SAVE_MAX_PAYLOAD + sizeof(SaveHeader)) {
    why = quoted(path) + " is not a saved game: it is far too large";
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    why = "can't read " + quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  out.resize(size_t(st.st_size));
  size_t n = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  if (n != out.size()) {
    why = "can't read " + quoted(path) + ": it changed while it was read";
    return false;
  }
  return true;
}

bool check_header(const std::string& path, const std::string& bytes, SaveHeader& h, std::string& why) {
  if (bytes.size() < sizeof(SaveHeader)) {
    why = quoted(path) + " is not a saved game: " + (bytes.empty() ? "it is empty" : "it is cut short");
    return false;
  }
  std::memcpy(&h, bytes.data(), sizeof(h));
  if (std::memcmp(h.magic, SAVE_MAGIC, sizeof(SAVE_MAGIC)) != 0) {
    why = quoted(path) + " is not a saved game";
    return false;
  }
  if (h.version > SAVE_FORMAT_VERSION) {
    why = quoted(path) + " was saved by a newer version of the game (format " + std::to_string(h.version) +
          ", this game reads up to " + std::to_string(SAVE_FORMAT_VERSION) + ")";
    return false;
  }
  if (h.version == 0 || h.header_size != sizeof(SaveHeader)) {
    why = quoted(path) + " is damaged: its header is not one this game wrote";
    return false;
  }
  return true;
}
}  // namespace

bool write_save_file(const std::string& path, const SaveSummary& summary, const std::string& payload,
                     std::string& why) {
  std::string body(ZSTD_compressBound(payload.size()), '\0');
  size_t n = ZSTD_compress(body.data(), body.size(), payload.data(), payload.size(), ZSTD_LEVEL);
  if (ZSTD_isError(n)) {
    why = "can't compress the save for " + quoted(path) + ": " + ZSTD_getErrorName(n);
    return false;
  }
  body.resize(n);
  SaveHeader h{};
  std::memcpy(h.magic, SAVE_MAGIC, sizeof(SAVE_MAGIC));
  h.version = SAVE_FORMAT_VERSION;
  h.header_size = sizeof(SaveHeader);
  h.summary = summary;
  h.payload_size = payload.size();
  h.compressed_size = body.size();
  h.checksum = checksum_of(summary, payload);
  std::string tmp = path + SAVE_TEMP_SUFFIX;
  if (!write_temp(tmp, h, body, why)) return false;
  if (crash_requested_after_write()) std::_Exit(3);
  if (!keep_backup(path, why)) {
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    why = "can't save to " + quoted(path) + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool read_save_file(const std::string& path, SaveSummary& summary, std::string& payload, std::string& why) {
  std::string bytes;
  SaveHeader h;
  if (!read_whole(path, bytes, why) || !check_header(path, bytes, h, why)) return false;
  if (h.compressed_size != bytes.size() - sizeof(SaveHeader)) {
    why = quoted(path) + " is damaged: " + (h.compressed_size > bytes.size() - sizeof(SaveHeader)
                                                 ? "it is cut short"
                                                 : "it has bytes past its end");
    return false;
  }
  if (h.payload_size > SAVE_MAX_PAYLOAD) {
    why = quoted(path) + " is damaged: its size fields are beyond reason";
    return false;
  }
  payload.assign(size_t(h.payload_size), '\0');
  size_t n = ZSTD_decompress(payload.data(), payload.size(), bytes.data() + sizeof(SaveHeader), h.compressed_size);
  if (ZSTD_isError(n) || n != h.payload_size) {
    why = quoted(path) + " is damaged: its data does not unpack" +
          (ZSTD_isError(n) ? std::string(" (") + ZSTD_getErrorName(n) + ")" : std::string());
    return false;
  }
  if (checksum_of(h.summary, payload) != h.checksum) {
    why = quoted(path) + " is damaged: its checksum does not match";
    return false;
  }
  summary = h.summary;
  return true;
}

bool read_save_summary(const std::string& path, SaveSummary& summary, std::string& why) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    why = "can't read " + quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  std::string bytes(sizeof(SaveHeader), '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  SaveHeader h;
  if (!check_header(path, bytes, h, why)) return false;
  summary = h.summary;
  return true;
}
