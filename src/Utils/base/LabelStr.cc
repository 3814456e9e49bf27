#include "Utils/base/LabelStr.hh"

#include "Utils/base/Debug.hh"

#include <deque>
#include <ostream>
#include <string_view>
#include <unordered_map>

namespace KADRIX {

  namespace {
    const double s_base = 4503599627370496.0; // 2^52

    struct LabelTable {
      std::deque<std::string> texts; // stable addresses
      std::unordered_map<std::string_view, unsigned int> indexes;

      double keyOf(std::string_view text) {
        auto it = indexes.find(text);
        if (it != indexes.end())
          return s_base + it->second;
        unsigned int index = static_cast<unsigned int>(texts.size());
        texts.emplace_back(text);
        indexes.emplace(std::string_view(texts.back()), index);
        return s_base + index;
      }

      bool isKey(double key) const {
        if (!(key >= s_base))
          return false;
        double index = key - s_base;
        return index < static_cast<double>(texts.size()) &&
               index == static_cast<double>(static_cast<unsigned long long>(index));
      }

      const std::string& text(double key) const { return texts[static_cast<std::size_t>(key - s_base)]; }
    };

    // Never destroyed, so labels work during static initialisation and destruction.
    LabelTable& table() {
      static LabelTable* const s_table = new LabelTable();
      return *s_table;
    }

    unsigned int countFields(const std::string& text, const char* delimiters) {
      unsigned int count = 1;
      for (std::string::size_type pos = text.find_first_of(delimiters); pos != std::string::npos;
           pos = text.find_first_of(delimiters, pos + 1))
        ++count;
      return count;
    }
  }

  LabelStr::LabelStr() : m_key(table().keyOf(std::string_view())) {}

  LabelStr::LabelStr(const char* text)
    : m_key(table().keyOf(text == nullptr ? std::string_view() : std::string_view(text))) {}

  LabelStr::LabelStr(const std::string& text) : m_key(table().keyOf(text)) {}

  LabelStr::LabelStr(double key) : m_key(key) {
    KADRIX_CHECK_MSG(isString(key), "The number " << key << " is not the key of a label.");
    if (!isString(key))
      m_key = table().keyOf(std::string_view());
  }

  const std::string& LabelStr::toString() const { return table().text(m_key); }

  unsigned int LabelStr::countElements(const char* delimiters) const {
    return countFields(toString(), delimiters);
  }

  unsigned int LabelStr::countElements(const std::string& delimiters) const {
    return countElements(delimiters.c_str());
  }

  LabelStr LabelStr::getElement(unsigned int index, const char* delimiters) const {
    const std::string& text = toString();
    std::string::size_type start = 0;
    for (unsigned int i = 0; i < index; ++i) {
      std::string::size_type pos = text.find_first_of(delimiters, start);
      KADRIX_CHECK_MSG(pos != std::string::npos, "Cannot get element "
                                                     << index << " of \"" << text << "\": it has only "
                                                     << countFields(text, delimiters) << " elements.");
      if (pos == std::string::npos)
        return LabelStr();
      start = pos + 1;
    }
    std::string::size_type end = text.find_first_of(delimiters, start);
    return LabelStr(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
  }

  LabelStr LabelStr::getElement(unsigned int index, const std::string& delimiters) const {
    return getElement(index, delimiters.c_str());
  }

  bool LabelStr::isString(double key) { return table().isKey(key); }

  std::ostream& operator<<(std::ostream& os, const LabelStr& label) { return os << label.toString(); }

}
