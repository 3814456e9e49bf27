// libFuzzer target: arbitrary bytes played as a transaction stream.

#include "PlayerFuzzInput.hh"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KADRIX::fuzz::playHostileInput(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
