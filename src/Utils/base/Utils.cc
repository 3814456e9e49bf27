#include "Utils/base/Utils.hh"

#include <cmath>
#include <cstdio>

namespace KADRIX {

  std::string toString(double value) {
    static const double s_exact = 9007199254740992.0; // 2^53
    char buffer[64];
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) <= s_exact)
      std::snprintf(buffer, sizeof(buffer), "%lld", static_cast<long long>(value));
    else
      std::snprintf(buffer, sizeof(buffer), "%.15g", value);
    return buffer;
  }

  void tokenize(const std::string& text, std::vector<std::string>& pieces, const std::string& delimiters) {
    std::string::size_type start = 0;
    for (;;) {
      std::string::size_type pos = text.find_first_of(delimiters, start);
      if (pos == std::string::npos) {
        pieces.push_back(text.substr(start));
        return;
      }
      pieces.push_back(text.substr(start, pos - start));
      start = pos + 1;
    }
  }

}
