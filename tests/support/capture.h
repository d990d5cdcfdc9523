// An in-memory stream for tests that check what is written, byte for byte.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace lowmode::test {

class Capture {
 public:
  Capture() : stream_(open_memstream(&data_, &size_)) {}
  ~Capture() {
    std::fclose(stream_);
    std::free(data_);
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::FILE* stream() const { return stream_; }
  // Everything written so far.
  std::string text() {
    std::fflush(stream_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_;
};

}  // namespace lowmode::test
