// File streams with exceptions carrying the failure's message and position.
#include "platform/file_stream.h"

#include <cstring>

StreamException::StreamException(const char* msg, int code_) : code(code_) {
  std::strncpy(message, msg ? msg : "", sizeof(message) - 1);
  message[sizeof(message) - 1] = 0;
}

namespace {
int position_of(FILE* f) { return f ? int(std::ftell(f)) : -1; }

void seek_or_throw(FILE* f, long offset, int whence) {
  if (!f) throw StreamException("file not opened", -1);
  if (std::fseek(f, offset, whence) != 0) throw StreamException("file seek error", position_of(f));
}
}  // namespace

bool FileInputStream::open(const char* path, const char* mode) {
  close();
  file = path ? std::fopen(path, mode ? mode : "rb") : nullptr;
  return file != nullptr;
}

void FileInputStream::close() {
  if (file) std::fclose(file);
  file = nullptr;
}

int FileInputStream::readSome(void* buf, int n) {
  if (!file || n <= 0) return 0;
  return int(std::fread(buf, 1, size_t(n), file));
}

void FileInputStream::read(void* buf, int n) {
  if (!file) throw StreamException("file not opened", -1);
  if (n < 0) throw StreamException("negative size in read()", -1);
  int pos = position_of(file);
  if (std::fread(buf, 1, size_t(n), file) != size_t(n)) throw StreamException("error reading file", pos);
}

int FileInputStream::tell() {
  if (!file) throw StreamException("file not opened", -1);
  return position_of(file);
}

void FileInputStream::seekTo(int pos) { seek_or_throw(file, pos, SEEK_SET); }
void FileInputStream::seekRel(int delta) { seek_or_throw(file, delta, SEEK_CUR); }
void FileInputStream::seekToEnd(int delta) { seek_or_throw(file, delta, SEEK_END); }

bool FileOutputStream::open(const char* path, const char* mode) {
  close();
  file = path ? std::fopen(path, mode ? mode : "wb") : nullptr;
  return file != nullptr;
}

void FileOutputStream::close() {
  if (file) std::fclose(file);
  file = nullptr;
}

void FileOutputStream::write(const void* buf, int n) {
  if (!file) throw StreamException("file not opened", -1);
  if (n < 0) throw StreamException("negative size in write()", -1);
  int pos = position_of(file);
  if (std::fwrite(buf, 1, size_t(n), file) != size_t(n)) throw StreamException("error writing file", pos);
}

int FileOutputStream::tell() {
  if (!file) throw StreamException("file not opened", -1);
  return position_of(file);
}

void FileOutputStream::seekTo(int pos) { seek_or_throw(file, pos, SEEK_SET); }
void FileOutputStream::seekRel(int delta) { seek_or_throw(file, delta, SEEK_CUR); }
