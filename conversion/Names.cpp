#include "conversion/Names.h"

#include <cstdint>
#include <cstdio>

#include "connectivity/core/ConnString.h"

namespace conversion {

std::string Utf8Prefix(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

std::string NameShortener::Key(const std::string& name) { return ado::ToUpper(name); }

void NameShortener::Reserve(const std::string& name) { taken_.insert(Key(name)); }

std::string NameShortener::Shorten(const std::string& name) {
  if (name.size() <= kMaxNameBytes && !taken_.count(Key(name))) {
    Reserve(name);
    return name;
  }
  // From the whole name: two names alike in their first bytes still differ here.
  const std::uint32_t h = ado::Fnv1a(name);
  const std::string head = Utf8Prefix(name, kMaxNameBytes - 7);
  for (std::uint32_t k = 0;; ++k) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "~%06X", static_cast<unsigned>((h + k) & 0xFFFFFF));
    std::string candidate = head + tail;
    if (!taken_.count(Key(candidate))) {
      Reserve(candidate);
      return candidate;
    }
  }
}

std::vector<std::string> NameShortener::ShortenAll(const std::vector<std::string>& names) {
  NameShortener s;
  return s.ShortenEach(names);
}

std::vector<std::string> NameShortener::ShortenEach(const std::vector<std::string>& names) {
  // A name that fits keeps itself; only the first of two equal names does, and none that is taken.
  std::vector<bool> kept(names.size(), false);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].size() <= kMaxNameBytes && !taken_.count(Key(names[i]))) {
      Reserve(names[i]);
      kept[i] = true;
    }
  }
  std::vector<std::string> out;
  out.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) out.push_back(kept[i] ? names[i] : Shorten(names[i]));
  return out;
}

}  // namespace conversion
