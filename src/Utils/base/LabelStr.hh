#ifndef KADRIX_UTILS_LABELSTR_HH
#define KADRIX_UTILS_LABELSTR_HH

#include <iosfwd>
#include <string>

namespace KADRIX {

  /**
   * An interned text with a numeric key. Equal texts give equal keys, so keys
   * serve for equality and as container keys. Keys are 2^52 + n, where n
   * counts the distinct texts in order of their first use: containers keyed by
   * labels iterate in that (deterministic) order, and a key never equals an
   * ordinary number or the number of an object address.
   *
   * The text of a label stays at one place for the life of the process.
   */
  class LabelStr {
  public:
    /** The empty text. */
    LabelStr();
    LabelStr(const char* text);
    LabelStr(const std::string& text);
    /** The label with this key; the key must be one (see isString). */
    explicit LabelStr(double key);
    LabelStr(const LabelStr&) = default;
    LabelStr& operator=(const LabelStr&) = default;
    ~LabelStr() = default;

    double getKey() const { return m_key; }
    operator double() const { return m_key; }

    const std::string& toString() const;
    const char* c_str() const { return toString().c_str(); }

    /** The number of fields between the delimiter characters; empty fields count ("a..b" has 3). */
    unsigned int countElements(const char* delimiters) const;
    unsigned int countElements(const std::string& delimiters) const;

    /** The field at index (from 0); an index past the last field fails a check. */
    LabelStr getElement(unsigned int index, const char* delimiters) const;
    LabelStr getElement(unsigned int index, const std::string& delimiters) const;

    friend bool operator==(const LabelStr& a, const LabelStr& b) { return a.m_key == b.m_key; }
    friend bool operator!=(const LabelStr& a, const LabelStr& b) { return a.m_key != b.m_key; }
    friend bool operator<(const LabelStr& a, const LabelStr& b) { return a.m_key < b.m_key; }
    friend bool operator>(const LabelStr& a, const LabelStr& b) { return a.m_key > b.m_key; }

    /** Whether the number is the key of a label. */
    static bool isString(double key);

  private:
    double m_key;
  };

  std::ostream& operator<<(std::ostream& os, const LabelStr& label);

}

#endif
