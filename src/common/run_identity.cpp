// The run's identity from its command line: overrides and seed read and checked, and the seed
// of the random numbers made from the deck's and the run's.
#include "common/run_identity.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vorax {

namespace {

bool letter(char c) {
  return c >= 'A' && c <= 'Z';
}

// The characters the lattice language continues a name with.
bool name_continuation(char c) {
  return letter(c) || (c >= '0' && c <= '9') || c == '\'';
}

} // namespace

bool add_parameter_override(std::string_view text, std::string &why) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    why = "needs NAME=VALUE";
    return false;
  }
  std::string name(text.substr(0, equals));
  for (char &c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name.empty() || !letter(name[0])) {
    why = "the name must start with a letter";
    return false;
  }
  for (const char c : name)
    if (!name_continuation(c)) {
      why = "the name " + name + " holds a character that no parameter name can hold";
      return false;
    }
  // A longer name is the parameter of its first 8 characters, as in the deck.
  if (name.size() > 8)
    name.resize(8);
  const std::string value(text.substr(equals + 1));
  errno = 0;
  char *end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  const bool whole = !value.empty() && end == value.c_str() + value.size() &&
                     !std::isspace(static_cast<unsigned char>(value[0]));
  if (!whole || errno == ERANGE || !std::isfinite(v)) {
    why = "the value '" + value + "' of " + name + " is not a finite number";
    return false;
  }
  for (ParameterOverride &o : runid.overrides)
    if (o.name == name) {
      o.text = value;
      o.value = v;
      return true;
    }
  runid.overrides.push_back({name, value, v});
  return true;
}

bool parse_run_seed(std::string_view text, std::int32_t &seed) {
  const std::string s(text);
  if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0])))
    return false;
  errno = 0;
  char *end = nullptr;
  const long long n = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n > MAX_RUN_SEED)
    return false;
  seed = static_cast<std::int32_t>(n);
  return true;
}

// A 64-bit finaliser (splitmix64): every input bit moves about half of the output bits, so
// neighbouring run seeds, the usual task numbers of an array, give unrelated generator states.
std::int32_t mixed_seed(std::int32_t deck_seed, std::int32_t run_seed) {
  std::uint64_t z = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(deck_seed)) << 32) |
                    static_cast<std::uint32_t>(run_seed);
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<std::int32_t>(z & 0x7FFFFFFFu) | 1;
}

std::string override_list() {
  std::string list;
  for (const ParameterOverride &o : runid.overrides)
    list += (list.empty() ? "" : " ") + o.name + "=" + o.text;
  return list;
}

} // namespace vorax
