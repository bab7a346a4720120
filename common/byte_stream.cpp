#include "byte_stream.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace vh {

std::optional<ByteSource> ByteSource::open_file(const std::string& name) {
  FileHandle file(std::fopen(name.c_str(), "rb"));
  if (!file) return std::nullopt;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  // Reads are large blocks into the caller's buffer; a second buffer would only copy.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  ByteSource source;
  source.file_ = std::move(file);
  return source;
}

ByteSource ByteSource::from_memory(std::string_view bytes) {
  ByteSource source;
  source.memory_ = bytes;
  return source;
}

std::ptrdiff_t ByteSource::read(std::span<char> into) {
  if (!file_) {
    const std::size_t count = std::min(into.size(), memory_.size() - offset_);
    std::memcpy(into.data(), memory_.data() + offset_, count);
    offset_ += count;
    return static_cast<std::ptrdiff_t>(count);
  }
  const std::size_t count = std::fread(into.data(), 1, into.size(), file_.get());
  if (count == 0 && std::ferror(file_.get())) return -1;
  return static_cast<std::ptrdiff_t>(count);
}

bool ByteSource::rewind() {
  if (!file_) {
    offset_ = 0;
    return true;
  }
  std::clearerr(file_.get());
  return std::fseek(file_.get(), 0, SEEK_SET) == 0;
}

std::optional<ByteSink> ByteSink::create_file(const std::string& name) {
  FileHandle file(std::fopen(name.c_str(), "wb"));
  if (!file) return std::nullopt;
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  ByteSink sink;
  sink.file_ = std::move(file);
  return sink;
}

ByteSink ByteSink::to_memory(std::string& target) {
  ByteSink sink;
  sink.memory_ = &target;
  return sink;
}

bool ByteSink::write(std::string_view bytes) {
  if (memory_ != nullptr) {
    memory_->append(bytes);
    return true;
  }
  if (!file_) return false;
  return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

bool ByteSink::close() {
  if (!file_) return true;
  const bool flushed = std::fflush(file_.get()) == 0;
  return std::fclose(file_.release()) == 0 && flushed;
}

bool same_existing_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace vh
