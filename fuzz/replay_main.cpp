// Runs a fuzz target once over every file of the folders (or files) named
// on the command line, without libFuzzer: the seeds and the inputs of past
// findings are replayed on every test run, so the targets keep building and
// no fixed fault comes back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The name goes out first, so that a finding names its input.
void replayFile(const std::filesystem::path& path) {
  std::printf("%s\n", path.string().c_str());
  std::fflush(stdout);
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    fs::path root(argv[i]);
    if (fs::is_regular_file(root)) {
      replayFile(root);
      ++replayed;
      continue;
    }
    if (!fs::is_directory(root)) continue;  // a target without findings has no folder
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      replayFile(entry.path());
      ++replayed;
    }
  }
  std::printf("%s: %d inputs replayed\n", fs::path(argv[0]).filename().string().c_str(), replayed);
  return replayed > 0 ? 0 : 1;
}
