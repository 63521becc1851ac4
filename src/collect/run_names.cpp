// The names of the runs' tables.
#include "collect/run_names.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <glob.h>
#include <sys/stat.h>

namespace vorax::collect {

namespace {

bool digits(const std::string &s) {
  return !s.empty() && s.size() <= 15 && s.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

std::string parse_run_list(const std::string &text, std::vector<long long> &out) {
  out.clear();
  std::size_t p = 0;
  while (p <= text.size()) {
    std::size_t q = text.find(',', p);
    if (q == std::string::npos)
      q = text.size();
    const std::string item = text.substr(p, q - p);
    const std::size_t colon = item.find(':');
    const std::string range = item.substr(0, colon);
    const std::string step_text = colon == std::string::npos ? "1" : item.substr(colon + 1);
    const std::size_t dash = range.find('-');
    const std::string first_text = range.substr(0, dash);
    const std::string last_text = dash == std::string::npos ? first_text : range.substr(dash + 1);
    if (!digits(first_text) || !digits(last_text) || !digits(step_text))
      return "\"" + item + "\" is not a run number N or a range A-B or A-B:STEP";
    const long long first = std::atoll(first_text.c_str()), last = std::atoll(last_text.c_str());
    const long long step = std::atoll(step_text.c_str());
    if (last < first || step < 1)
      return "\"" + item + "\" is an empty range";
    for (long long n = first; n <= last; n += step) {
      if (out.size() == MAX_RUNS)
        return "more than " + std::to_string(MAX_RUNS) + " runs";
      out.push_back(n);
    }
    p = q + 1;
  }
  return "";
}

std::string name_of_run(const std::string &pattern, long long run, std::string &out) {
  out.clear();
  bool placed = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out.push_back(pattern[i]);
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    int width = 0;
    std::size_t j = i + 1;
    if (j < pattern.size() && pattern[j] >= '1' && pattern[j] <= '9')
      width = pattern[j++] - '0';
    if (j >= pattern.size() || pattern[j] != 'a')
      return pattern + ": % is followed by neither a, Na (N from 1 to 9) nor %";
    std::string number = std::to_string(run);
    if (number.size() < static_cast<std::size_t>(width))
      number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
    out += number;
    placed = true;
    i = j;
  }
  if (!placed)
    return pattern + ": with --runs, a table's name holds its run number as %a";
  return "";
}

bool natural_less(const std::string &a, const std::string &b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = a[i] >= '0' && a[i] <= '9', db = b[j] >= '0' && b[j] <= '9';
    if (da && db) {
      std::size_t ie = i, je = j;
      while (ie < a.size() && a[ie] >= '0' && a[ie] <= '9')
        ++ie;
      while (je < b.size() && b[je] >= '0' && b[je] <= '9')
        ++je;
      // Compare the numbers without their leading zeros: first by length, then digit by digit.
      std::size_t is = i, js = j;
      while (is + 1 < ie && a[is] == '0')
        ++is;
      while (js + 1 < je && b[js] == '0')
        ++js;
      if (ie - is != je - js)
        return ie - is < je - js;
      const int c = a.compare(is, ie - is, b, js, je - js);
      if (c != 0)
        return c < 0;
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j])
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j))
    return a.size() - i < b.size() - j;
  return a < b; // names alike up to leading zeros: a fixed order all the same
}

std::vector<std::string> expand_name(const std::string &name) {
  struct stat st;
  if (::stat(name.c_str(), &st) == 0 || name.find_first_of("*?[") == std::string::npos)
    return {name};
  glob_t matches{};
  std::vector<std::string> out;
  if (::glob(name.c_str(), GLOB_NOSORT, nullptr, &matches) == 0)
    for (std::size_t i = 0; i < matches.gl_pathc; ++i)
      out.emplace_back(matches.gl_pathv[i]);
  ::globfree(&matches);
  std::sort(out.begin(), out.end(), natural_less);
  return out;
}

} // namespace vorax::collect
