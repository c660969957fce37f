#pragma once
// Binary file streams over the C runtime's buffered files. Failures throw
// InputStream::Exception / OutputStream::Exception; callers catch them.
#include <cstdio>

struct StreamException {
  char message[512];
  int code;  // file position at the failure, or -1
  StreamException(const char* msg, int code_);
};

class InputStream {
 public:
  using Exception = StreamException;
  virtual ~InputStream() = default;
  virtual int readSome(void* buf, int n) = 0;  // bytes read, 0 if closed or n <= 0
  virtual void read(void* buf, int n) = 0;     // exactly n bytes or throws
  virtual int tell() = 0;
  virtual void seekTo(int pos) = 0;
  virtual void seekRel(int delta) = 0;
  virtual void seekToEnd(int delta) = 0;
};

class OutputStream {
 public:
  using Exception = StreamException;
  virtual ~OutputStream() = default;
  virtual void write(const void* buf, int n) = 0;  // exactly n bytes or throws
  virtual int tell() = 0;
  virtual void seekTo(int pos) = 0;
  virtual void seekRel(int delta) = 0;
};

class FileInputStream : public InputStream {
 public:
  FileInputStream() = default;
  ~FileInputStream() override { close(); }
  bool open(const char* path, const char* mode = "rb");
  void close();
  bool isOpen() const { return file != nullptr; }
  int readSome(void* buf, int n) override;
  void read(void* buf, int n) override;
  int tell() override;
  void seekTo(int pos) override;
  void seekRel(int delta) override;
  void seekToEnd(int delta) override;

 private:
  FILE* file = nullptr;
};

class FileOutputStream : public OutputStream {
 public:
  FileOutputStream() = default;
  ~FileOutputStream() override { close(); }
  bool open(const char* path, const char* mode = "wb");
  void close();
  bool isOpen() const { return file != nullptr; }
  void write(const void* buf, int n) override;
  int tell() override;
  void seekTo(int pos) override;
  void seekRel(int delta) override;

 private:
  FILE* file = nullptr;
};
