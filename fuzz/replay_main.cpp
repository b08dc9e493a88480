// Replays a fuzz target on inputs without libFuzzer, so the targets build with g++ and their seed
// corpora run in every test pass: each argument is a file or a folder of files (not recursed), fed
// one by one in name order. Fails when an argument can't be read or no input was found at all; a
// target that finds a fault aborts on its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool read_file(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The files an argument names, or nothing and a message when it names neither.
bool inputs_of(const fs::path& argument, std::vector<fs::path>& files) {
  std::error_code error;
  if (fs::is_regular_file(argument, error)) {
    files.push_back(argument);
    return true;
  }
  if (!fs::is_directory(argument, error)) {
    std::cerr << "replay: " << argument.string() << " is no file or folder\n";
    return false;
  }
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(argument, error)) {
    if (entry.is_regular_file(error)) found.push_back(entry.path());
  }
  if (error) {
    std::cerr << "replay: cannot list " << argument.string() << ": " << error.message() << "\n";
    return false;
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: " << argv[0] << " FILE-OR-FOLDER...\n";
    return 2;
  }
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    if (!inputs_of(argv[i], files)) return 1;
  }
  if (files.empty()) {
    std::cerr << "replay: no inputs\n";
    return 1;
  }
  std::string bytes;
  for (const fs::path& file : files) {
    if (!read_file(file, bytes)) {
      std::cerr << "replay: cannot read " << file.string() << "\n";
      return 1;
    }
    // A buffer of exactly the input's size, as libFuzzer gives, so a sanitizer sees an overread.
    const auto data = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(bytes.size(), 1));
    std::copy(bytes.begin(), bytes.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
  }
  std::cout << "replay: " << files.size() << " inputs passed\n";
  return 0;
}
