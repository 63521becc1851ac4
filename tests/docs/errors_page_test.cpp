// The manual's page of stop codes lists exactly the codes of the program's error table, each
// with the name the error stop prints: a code added to the table cannot go undocumented, nor a
// name drift from what the listing shows.
#include "common/halt.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.back() == ' ')
    s.remove_suffix(1);
  return std::string(s);
}

} // namespace

TEST(ErrorsPage, ListsExactlyTheCodesOfTheErrorTableWithTheirNames) {
  // Rows "| code | `NAME` | ...": a name cell without backquotes stands for a blank name.
  std::ifstream f(std::string(VORAX_SOURCE_DIR) + "/docs/errors.md");
  ASSERT_TRUE(f.good());
  std::map<int, std::string> page;
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("| ", 0) != 0 || !std::isdigit(static_cast<unsigned char>(line[2])))
      continue;
    char *end = nullptr;
    const long code = std::strtol(line.c_str() + 2, &end, 10);
    const std::string rest(end);
    ASSERT_EQ(rest.rfind(" | ", 0), 0u) << line;
    const std::string cell = rest.substr(3, rest.find(" |", 3) - 3);
    const std::string name = cell.size() >= 2 && cell.front() == '`' && cell.back() == '`'
                                 ? cell.substr(1, cell.size() - 2)
                                 : "";
    EXPECT_TRUE(page.emplace(static_cast<int>(code), name).second) << "listed twice: " << code;
  }
  std::map<int, std::string> table;
  for (int code = 0; code < 10000; ++code)
    if (vorax::error_name(code) != "ERROR NOT IN TABLE  ")
      table[code] = trimmed(vorax::error_name(code));
  EXPECT_EQ(page, table);
}
