// Result files beside the listing: where they go, how they are named, and their writing.
#include "output/result_files.h"

#include "common/units.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vorax {

std::string unusable_directory(const std::string &dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0)
    return std::strerror(errno);
  if (!S_ISDIR(st.st_mode))
    return "not a directory";
  if (::access(dir.c_str(), W_OK | X_OK) != 0)
    return std::strerror(errno);
  return {};
}

std::string next_result_stem(std::string_view operation) {
  auto [it, fresh] = resout.calls.try_emplace(std::string(operation), 0);
  return it->first + "_" + std::to_string(++it->second);
}

std::string table_path(const std::string &stem) {
  return resout.tables_dir + "/" + stem + ".tfs";
}

std::string plot_path(const std::string &stem) {
  return resout.plots_dir + "/" + stem + ".svg";
}

void write_result_file(const std::string &path, const std::string &text) {
  const std::string partial = path + ".part";
  std::FILE *f = std::fopen(partial.c_str(), "w");
  bool ok = f != nullptr;
  int error = errno;
  if (ok) {
    ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    error = errno;
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(partial.c_str(), path.c_str()) != 0) {
      error = errno;
      ok = false;
    }
    if (!ok)
      std::remove(partial.c_str());
  }
  if (!ok)
    end_on_output_failure("the result file " + path + ": " + std::strerror(error));
}

} // namespace vorax
