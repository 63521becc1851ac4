// Eight-character names.
#include "import/names.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace vorax::importer {

namespace {

constexpr std::size_t LENGTH = 8;

// Letters and digits of the name in upper case, beginning with a letter.
std::string sanitized(const std::string &name) {
  std::string s;
  for (char c : name)
    if (std::isalnum(static_cast<unsigned char>(c)))
      s.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0])))
    s.insert(s.begin(), 'X');
  return s;
}

std::uint64_t hash(const std::string &text) {
  std::uint64_t h = 14695981039346656037ull; // FNV-1a
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::string base36(std::uint64_t v, int digits) {
  static const char *const symbols = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i) {
    s[static_cast<std::size_t>(i)] = symbols[v % 36];
    v /= 36;
  }
  return s;
}

} // namespace

std::map<std::string, std::string> vorax_names(const std::vector<std::string> &names,
                                               std::set<std::string> &taken) {
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  std::map<std::string, std::string> out;
  const auto claim = [&](const std::string &name, const std::string &candidate) {
    if (out.count(name) != 0 || taken.count(candidate) != 0)
      return;
    out[name] = candidate;
    taken.insert(candidate);
  };
  // Names that are VORAX names already keep themselves, before any other claims theirs.
  for (const std::string &name : sorted) {
    const std::string s = sanitized(name);
    std::string up = name;
    for (char &c : up)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (s == up && s.size() <= LENGTH)
      claim(name, s);
  }
  for (const std::string &name : sorted)
    if (const std::string s = sanitized(name); s.size() <= LENGTH)
      claim(name, s);
  for (const std::string &name : sorted) {
    const std::string prefix = sanitized(name).substr(0, 5);
    for (int salt = 0; out.count(name) == 0; ++salt)
      claim(name, prefix + base36(hash(name + "#" + std::to_string(salt)), 3));
  }
  return out;
}

std::string fresh_name(const std::string &prefix, int &counter, std::set<std::string> &taken) {
  for (;;) {
    const std::string candidate = prefix + std::to_string(++counter);
    if (taken.insert(candidate).second)
      return candidate;
  }
}

} // namespace vorax::importer
