// Replays files through a fuzz target without libFuzzer, so that the corpus
// also runs as an ordinary test with any compiler. Arguments are files or
// directories of files; any invariant that fails aborts the run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsUnder(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> inputs;
  if (std::filesystem::is_directory(root)) {
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
      if (entry.is_regular_file()) {
        inputs.push_back(entry.path());
      }
    }
  } else {
    inputs.push_back(root);
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

void Replay(const std::filesystem::path& input) {
  std::ifstream in(input, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An exactly sized copy, so that a sanitizer sees any read past the end.
  std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
  exact.shrink_to_fit();
  LLVMFuzzerTestOneInput(exact.data(), exact.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& input : InputsUnder(argv[i])) {
      Replay(input);
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
