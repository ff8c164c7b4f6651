// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target over the files it is given, once each: the seed corpus
// as a test of the normal build, where no libFuzzer is at hand.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream input(argv[i], std::ios::binary);
    if (!input) {
      std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
      return 1;
    }
    const std::string bytes{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%d inputs passed\n", argc - 1);
  return 0;
}
