// Runs a fuzz target's checks on every file of the given folders, so that the corpus is
// replayed under the ordinary test runs too; a failing check aborts.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
      if (!entry.is_regular_file()) continue;
      std::string bytes;
      if (std::FILE* file = std::fopen(entry.path().c_str(), "rb")) {
        char block[4096];
        while (const std::size_t count = std::fread(block, 1, sizeof block, file)) {
          bytes.append(block, count);
        }
        std::fclose(file);
      }
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
  }
  std::printf("%zu inputs replayed\n", inputs);
  return inputs == 0 ? 1 : 0;
}
