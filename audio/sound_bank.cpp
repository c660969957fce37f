// The sound bank: name -> OpenAL buffer, loaded on demand, reloaded when
// the file changes.
#include "audio/sound_bank.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "audio/sound.h"
#include "audio/sound_file.h"
#include "platform/log.h"
#include "platform/platform.h"

namespace sound_bank {
namespace {
struct Entry {
  ALuint buffer = 0;
  std::string path;  // the file it came from (or would have)
  int64_t time = -1;  // that file's time when loaded
};
std::unordered_map<std::string, Entry> entries;
int failed = 0;

// A name is a plain file name: no folders, nothing that leaves sounds/.
bool valid_name(const char* name) {
  size_t n = std::strlen(name);
  if (n == 0 || n > 64) return false;
  for (size_t i = 0; i < n; i++) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  }
  return true;
}

// The file that stands for the name now: an Ogg replacement wins over the WAV.
std::string current_path(const std::string& name) {
  std::string ogg = std::string(SOUND_FOLDER) + "/" + name + ".ogg";
  if (get_file_time(make_full_path(ogg.c_str()).c_str()) > 0) return ogg;
  return std::string(SOUND_FOLDER) + "/" + name + ".wav";
}

ALuint upload(const PcmSound& pcm) {
  alGetError();
  ALuint b = 0;
  alGenBuffers(1, &b);
  if (alGetError() != AL_NO_ERROR) return 0;
  ALenum format = pcm.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
  alBufferData(b, format, pcm.samples.data(), ALsizei(pcm.samples.size() * 2), pcm.rate);
  if (alGetError() != AL_NO_ERROR) {
    alDeleteBuffers(1, &b);
    return 0;
  }
  return b;
}

void load(const std::string& name, Entry& e) {
  e.path = current_path(name);
  TempString full = make_full_path(e.path.c_str());
  e.time = get_file_time(full.c_str());
  PcmSound pcm = load_sound_file(full.c_str());
  if (pcm.ok()) e.buffer = upload(pcm);
  if (!pcm.ok() || !e.buffer) {
    failed++;
    debug("sound '%s': %s: %s; it plays nothing", name.c_str(), e.path.c_str(),
          pcm.ok() ? "the device refused the samples" : pcm.error.c_str());
  }
}
}  // namespace

ALuint buffer(const char* name) {
  if (!name) return 0;
  auto it = entries.find(name);
  if (it == entries.end()) {
    if (!valid_name(name)) {
      debug("sound '%.64s': not a sound name (letters, digits, '_' and '-' only); it plays nothing", name);
      failed++;
      entries[name] = Entry();
      return 0;
    }
    it = entries.emplace(name, Entry()).first;
    load(it->first, it->second);
  }
  return it->second.buffer;
}

void reloadChanged(void (*before_replace)(ALuint)) {
  for (auto& [name, e] : entries) {
    if (!valid_name(name.c_str())) continue;
    std::string path = current_path(name);
    int64_t t = get_file_time(make_full_path(path.c_str()).c_str());
    if (path == e.path && t == e.time) continue;
    if (e.buffer) {
      if (before_replace) before_replace(e.buffer);
      alDeleteBuffers(1, &e.buffer);
      e.buffer = 0;
    }
    load(name, e);
    if (e.buffer) debug("reloaded sound '%s' from %s", name.c_str(), e.path.c_str());
  }
}

void clear() {
  for (auto& [name, e] : entries)
    if (e.buffer) alDeleteBuffers(1, &e.buffer);
  entries.clear();
  failed = 0;
}

int failedCount() { return failed; }

}  // namespace sound_bank
