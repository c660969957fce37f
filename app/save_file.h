#pragma once
// The saved-game file: a fixed header (magic, format version, what the load
// list shows, sizes and a checksum) followed by the payload compressed with
// zstd. Written through a temporary file that is renamed over the old one,
// the old one first kept as FILE.bak; read only when every check passes, so
// a damaged file is refused as a whole and left as it is.
#include <cstdint>
#include <string>

constexpr uint32_t SAVE_FORMAT_VERSION = 1;
constexpr const char* SAVE_BACKUP_SUFFIX = ".bak";
constexpr const char* SAVE_TEMP_SUFFIX = ".tmp";
constexpr const char* SAVE_DAMAGED_SUFFIX = ".damaged";
// A payload larger than this is not a save of ours (the world is about 3.5 MB).
constexpr uint64_t SAVE_MAX_PAYLOAD = 64ull << 20;

// What the load list shows without reading the payload.
struct SaveSummary {
  int32_t world_number = 0;
  int32_t castle_level = 0;
  double seconds_played = 0;
  int64_t saved_at = 0;  // seconds since 1970
};

// Writes atomically; false with the reason (naming the file) in `why`. The
// file replaced becomes FILE.bak, or FILE.damaged when it was not a good save.
bool write_save_file(const std::string& path, const SaveSummary& summary, const std::string& payload,
                     std::string& why);
// Reads and checks the whole file; false with the reason (naming the file)
// in `why`, and nothing is changed on disk.
bool read_save_file(const std::string& path, SaveSummary& summary, std::string& payload, std::string& why);
// The header alone, for the load list; false for a file that is not a save
// of a version this game reads.
bool read_save_summary(const std::string& path, SaveSummary& summary, std::string& why);
