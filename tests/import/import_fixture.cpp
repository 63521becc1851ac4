// The in-process runs of vorax-import and of the decks it writes.
#include "import_fixture.h"

#include "common/engine_tables.h"
#include "import/importer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vorax::test {

Import import_files(const std::map<std::string, std::string> &files,
                    const std::vector<std::string> &args) {
  char tmpl[] = "/tmp/vorax-import-XXXXXX";
  const char *dir = ::mkdtemp(tmpl);
  char old[4096];
  if (!dir || !::getcwd(old, sizeof old) || ::chdir(dir) != 0)
    std::abort();
  for (const auto &[name, content] : files) {
    const std::filesystem::path path(name);
    if (path.has_parent_path())
      std::filesystem::create_directories(path.parent_path());
    std::ofstream(name, std::ios::binary) << content;
  }
  std::ostringstream out, err;
  Import run;
  run.status = vorax::importer::run_importer(args, out, err);
  run.deck = out.str();
  run.terminal = err.str();
  if (DIR *d = ::opendir(".")) {
    while (dirent *e = ::readdir(d)) {
      const std::string name = e->d_name;
      struct stat st;
      if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        std::ifstream f(name, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        run.files[name] = s.str();
      }
    }
    ::closedir(d);
  }
  if (::chdir(old) != 0)
    std::abort();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return run;
}

Import import_text(const std::string &madx, const std::vector<std::string> &args) {
  std::vector<std::string> all = {"lattice.madx"};
  all.insert(all.end(), args.begin(), args.end());
  return import_files({{"lattice.madx", madx}}, all);
}

std::vector<double> map_of(const std::string &lattice) {
  const DeckRun run =
      run_deck_with_results(lattice + "VORAX\nMATRIX\n 2 -1;\nSTOP\n", {true, false});
  EXPECT_EQ(run.status, 0) << run.terminal << run.log;
  ParsedTfs table;
  const auto file = run.files.find("tables/matr_1.tfs");
  if (file == run.files.end() || !parse_tfs(file->second, table).empty() || table.rows.empty()) {
    ADD_FAILURE() << "no map table\n" << run.log;
    return {};
  }
  std::vector<double> map;
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const std::string &name = table.columns[c];
    if ((name[0] == 'R' && name.size() == 3) || (name[0] == 'T' && name.size() == 4))
      map.push_back(table.real(table.rows.size() - 1, name));
  }
  return map;
}

double largest_difference(const std::vector<double> &a, const std::vector<double> &b) {
  if (a.size() != b.size() || a.empty())
    return INFINITY;
  double d = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    d = std::fmax(d, std::fabs(a[i] - b[i]));
  return d;
}

std::vector<double> slots_of(const std::string &lattice, int k) {
  const DeckRun run = run_deck(lattice + "VORAX\nOUTP\n 1;\nSTOP\n");
  EXPECT_EQ(run.status, 0) << run.terminal << run.log;
  std::vector<double> v;
  for (int i = inputt.iadr(k); i < inputt.iadr(k + 1); ++i)
    v.push_back(inputt.eldata(i));
  return v;
}

} // namespace vorax::test
