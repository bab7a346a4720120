#include "memory_streams.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace test {
namespace {

class MemoryInput final : public verilog_hex::InputFile {
 public:
  explicit MemoryInput(std::string_view bytes) : all_(bytes), bytes_(bytes) {}
  std::ptrdiff_t read(std::span<char> into) override {
    const std::size_t count = std::min(into.size(), bytes_.size());
    std::memcpy(into.data(), bytes_.data(), count);
    bytes_.remove_prefix(count);
    return static_cast<std::ptrdiff_t>(count);
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    if (position >= all_.size()) return 0;
    const std::size_t count = std::min(into.size(), all_.size() - position);
    std::memcpy(into.data(), all_.data() + position, count);
    return static_cast<std::ptrdiff_t>(count);
  }
  bool can_read_at() const override { return true; }

 private:
  std::string_view all_;
  std::string_view bytes_;
};

class MemoryOutput final : public verilog_hex::OutputFile {
 public:
  explicit MemoryOutput(std::string& target) : target_(target) {}
  bool write(std::string_view bytes) override {
    target_.append(bytes);
    return true;
  }
  bool cut_back(std::uint64_t size) override {
    target_.resize(static_cast<std::size_t>(size));
    return true;
  }
  bool close() override { return true; }

 private:
  std::string& target_;
};

class MemoryScratch final : public verilog_hex::ScratchFile {
 public:
  MemoryScratch(std::function<bool(std::size_t)> write_fails, std::function<bool()> read_fails)
      : write_fails_(std::move(write_fails)), read_fails_(std::move(read_fails)) {}
  bool write(std::string_view bytes) override {
    if (write_fails_ && write_fails_(bytes_.size() + bytes.size())) return false;
    bytes_.append(bytes);
    return true;
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    if (read_fails_ && read_fails_()) return -1;
    if (position >= bytes_.size()) return 0;
    const std::size_t count = std::min(into.size(), bytes_.size() - position);
    std::memcpy(into.data(), bytes_.data() + position, count);
    return static_cast<std::ptrdiff_t>(count);
  }
  bool clear() override {
    bytes_.clear();
    return true;
  }

 private:
  std::function<bool(std::size_t)> write_fails_;
  std::function<bool()> read_fails_;
  std::string bytes_;
};

}  // namespace

std::unique_ptr<verilog_hex::ScratchFile> memory_scratch(
    std::function<bool(std::size_t)> write_fails, std::function<bool()> read_fails) {
  return std::make_unique<MemoryScratch>(std::move(write_fails), std::move(read_fails));
}

std::unique_ptr<verilog_hex::InputFile> memory_input(std::string_view bytes) {
  return std::make_unique<MemoryInput>(bytes);
}

std::unique_ptr<verilog_hex::OutputFile> memory_output(std::string& target) {
  return std::make_unique<MemoryOutput>(target);
}

}  // namespace test
