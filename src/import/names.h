// VORAX names for MAD-X names: at most 8 letters and digits, unique, and the same on every run
// for the same names. A name that is already one is kept; a short one loses its other
// characters; a long one keeps its first five and gets three from a hash of the whole name.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vorax::importer {

// The VORAX name of each of `names` (lower-case MAD-X names), none of them in `taken`, which
// receives them all. The result depends on the set of names alone, not on their order.
std::map<std::string, std::string> vorax_names(const std::vector<std::string> &names,
                                               std::set<std::string> &taken);

// PREFIX1, PREFIX2 ...: the first that is not taken, which it then is.
std::string fresh_name(const std::string &prefix, int &counter, std::set<std::string> &taken);

} // namespace vorax::importer
