// Runs the fuzz target over files and folders of inputs (the seed corpus and the inputs that once
// crashed), so that the normal test run checks them under the sanitizers without libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

static int RunFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

int main(int argc, char** argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    fs::path p(argv[i]);
    if (fs::is_directory(p)) {
      std::vector<fs::path> files;
      for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) count += RunFile(f);
    } else if (fs::exists(p)) {
      count += RunFile(p);
    } else {
      std::fprintf(stderr, "replay: no such input %s\n", argv[i]);
    }
  }
  if (count == 0) {
    std::fprintf(stderr, "replay: no inputs\n");
    return 2;
  }
  std::printf("replay: %d inputs ran cleanly\n", count);
  return 0;
}
