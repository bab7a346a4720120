#include "memory_streams.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace test {
namespace {

class MemoryInput final : public verilog_hex::InputFile {
 public:
  explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}
  std::ptrdiff_t read(std::span<char> into) override {
    const std::size_t count = std::min(into.size(), bytes_.size());
    std::memcpy(into.data(), bytes_.data(), count);
    bytes_.remove_prefix(count);
    return static_cast<std::ptrdiff_t>(count);
  }

 private:
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

}  // namespace

std::unique_ptr<verilog_hex::InputFile> memory_input(std::string_view bytes) {
  return std::make_unique<MemoryInput>(bytes);
}

std::unique_ptr<verilog_hex::OutputFile> memory_output(std::string& target) {
  return std::make_unique<MemoryOutput>(target);
}

}  // namespace test
