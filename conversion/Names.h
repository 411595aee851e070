#pragma once
#include <set>
#include <string>
#include <vector>

namespace conversion {

// Firebird keeps identifiers of up to 31 bytes.
constexpr size_t kMaxNameBytes = 31;

// The longest prefix of `text` of at most `bytes` bytes that ends on a whole UTF-8 character.
std::string Utf8Prefix(const std::string& text, size_t bytes);

// Gives each name of a list its Firebird name: a name that fits is kept as it is; a longer one is cut on
// whole characters and ends in "~" and six hexadecimal digits drawn from the whole name, so the same
// name gets the same result on every run. Results are unique without regard to ASCII letter case.
class NameShortener {
 public:
  // Names that are kept as they are (they fit) or already in use; shortened names avoid them.
  void Reserve(const std::string& name);
  // The Firebird name of `name`; reserves it.
  std::string Shorten(const std::string& name);
  // Every name of the list in order, short names reserved first so that no shortened name takes one.
  static std::vector<std::string> ShortenAll(const std::vector<std::string>& names);
  // The same, apart from the names this shortener already holds.
  std::vector<std::string> ShortenEach(const std::vector<std::string>& names);

 private:
  static std::string Key(const std::string& name);
  std::set<std::string> taken_;
};

}  // namespace conversion
