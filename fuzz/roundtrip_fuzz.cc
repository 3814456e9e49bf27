// libFuzzer target: every stream that plays is written, replayed from its
// log to the same plan, and rewound to its breakpoint and to its start.

#include "RoundTrip.hh"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    KADRIX::fuzz::roundTrip(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const KADRIX::fuzz::RoundTripFailure& failure) {
    std::cerr << "round trip broken at " << failure.what() << std::endl;
    std::abort();
  }
  return 0;
}
