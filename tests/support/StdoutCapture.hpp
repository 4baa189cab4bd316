#pragma once

#include <cstddef>
#include <iostream>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace vorn::test {

/// Captures std::cout: redirects it into a string buffer for the lifetime of the object and restores the
/// original buffer and formatting afterwards (also when an assertion fails). On entry the stream
/// formatting is reset to the defaults of a fresh stream, so the captured text does not depend
/// on what an earlier test in the same process left on std::cout.
class StdoutCapture {
public:
  StdoutCapture()
      : oldBuffer_(std::cout.rdbuf(buffer_.rdbuf())),
        oldFlags_(std::cout.flags()),
        oldPrecision_(std::cout.precision()),
        oldWidth_(std::cout.width()) {
    std::cout.flags(std::ios_base::skipws | std::ios_base::dec);
    std::cout.precision(6);
    std::cout.width(0);
  }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  ~StdoutCapture() {
    std::cout.rdbuf(oldBuffer_);
    std::cout.flags(oldFlags_);
    std::cout.precision(oldPrecision_);
    std::cout.width(oldWidth_);
  }

  /// Everything written to std::cout since construction or the last `clear`.
  std::string text() const { return buffer_.str(); }
  void clear() { buffer_.str(""); }

private:
  std::ostringstream buffer_;
  std::streambuf* oldBuffer_;
  std::ios_base::fmtflags oldFlags_;
  std::streamsize oldPrecision_;
  std::streamsize oldWidth_;
};

/// A string buffer that records what had been written at each flush (sync), to check that
/// output is flushed and that a flush never exposes a partial line.
class SyncRecordingBuffer : public std::stringbuf {
public:
  const std::vector<std::string>& snapshots() const { return snapshots_; }

protected:
  int sync() override {
    snapshots_.push_back(str());
    return std::stringbuf::sync();
  }

private:
  std::vector<std::string> snapshots_;
};

/// A thread-safe output buffer that invites a thread switch before every insertion it receives.
/// A writer that builds one line from several insertions without a lock therefore gets its line
/// torn by a concurrent writer almost surely, while a writer that inserts whole lines under a lock
/// does not. Its own mutex keeps the buffer consistent even when the writers do not lock.
class InterleavingBuffer : public std::streambuf {
public:
  std::string str() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::this_thread::yield();
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type ch) override {
    if (traits_type::eq_int_type(ch, traits_type::eof())) {
      return traits_type::not_eof(ch);
    }
    std::this_thread::yield();
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.push_back(traits_type::to_char_type(ch));
    return ch;
  }
  int sync() override { return 0; }

private:
  mutable std::mutex mutex_;
  std::string text_;
};

/// Points std::cout at another buffer for the lifetime of the object.
class CoutRedirect {
public:
  explicit CoutRedirect(std::streambuf* buffer) : old_(std::cout.rdbuf(buffer)) {}
  CoutRedirect(const CoutRedirect&) = delete;
  CoutRedirect& operator=(const CoutRedirect&) = delete;
  ~CoutRedirect() { std::cout.rdbuf(old_); }

private:
  std::streambuf* old_;
};

}  // namespace vorn::test
