// Runs a fuzz target once over each file named on the command line (and each
// file inside a named folder), without libFuzzer: ctest replays the saved
// regressions and seeds this way in every build, whatever the compiler.
// Exits 1 when a file cannot be read; a target's own check aborts.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0;
  bool readable = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path named(argv[i]);
    if (!std::filesystem::is_directory(named)) {
      readable = RunFile(named) && readable;
      ++files;
      continue;
    }
    for (const auto& entry : std::filesystem::directory_iterator(named)) {
      if (!entry.is_regular_file()) continue;
      readable = RunFile(entry.path()) && readable;
      ++files;
    }
  }
  std::printf("replay: %d inputs\n", files);
  return readable ? 0 : 1;
}
