// Result files beside the listing: where they go, how they are named, and their writing.
#include "output/result_files.h"

#include "common/interruption.h"
#include "common/units.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

bool results_complete() {
  return std::uncaught_exceptions() == 0 && intrpt.ending.load() == 0;
}

ResultFile::ResultFile(const std::string &path, std::string_view kind) : path_(path), kind_(kind) {
  // Checked before anything is computed for it, and again at the rename.
  if (const std::string clash = file_in_use(path_); !clash.empty()) {
    fail("it is " + clash);
    return;
  }
  const std::size_t slash = path_.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  temporary_ = dir + "." + base + ".XXXXXX";
  const int fd = ::mkstemp(temporary_.data());
  if (fd < 0) {
    const int error = errno;
    temporary_.clear();
    fail(std::strerror(error));
    return;
  }
  // mkstemp makes the file private; a result file gets the permissions of any new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "w");
  if (!file_) {
    const int error = errno;
    ::close(fd);
    fail(std::strerror(error));
  }
}

ResultFile::~ResultFile() {
  if (file_)
    std::fclose(file_);
  if (!temporary_.empty())
    std::remove(temporary_.c_str());
}

void ResultFile::fail(const std::string &reason) {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  std::string what = "the " + kind_ + " " + path_ + ": " + reason;
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    temporary_.clear();
    what += "; the partial file is removed";
  }
  if (!results_complete()) {
    resout.lost.push_back(what); // the run is already ending with its own report
    return;
  }
  end_on_output_failure(what);
}

void ResultFile::write(std::string_view text) {
  if (!file_)
    return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::ferror(file_))
    fail(std::strerror(errno));
}

void ResultFile::rewrite(long offset, std::string_view text) {
  if (!file_)
    return;
  if (std::fseek(file_, offset, SEEK_SET) != 0 ||
      std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fseek(file_, 0, SEEK_END) != 0)
    fail(std::strerror(errno));
}

void ResultFile::commit(bool incomplete) {
  if (!file_)
    return;
  std::FILE *f = std::exchange(file_, nullptr);
  const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
  const int error = errno;
  if (std::fclose(f) != 0 || !flushed) {
    fail(std::strerror(flushed ? errno : error));
    return;
  }
  if (const std::string clash = file_in_use(path_); !clash.empty()) {
    fail("it is " + clash);
    return;
  }
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    fail(std::strerror(errno));
    return;
  }
  temporary_.clear();
  protect_result_file(path_, "the " + kind_ + " " + path_);
  if (incomplete)
    resout.incomplete.push_back("the " + kind_ + " " + path_);
}

void write_result_file(const std::string &path, const std::string &text) {
  ResultFile file(path, "plot");
  const bool incomplete = !results_complete();
  if (incomplete) {
    const std::size_t first_line = text.find('\n') + 1;
    file.write(std::string_view(text).substr(0, first_line));
    file.write("<!-- INCOMPLETE: the run ended before its operation did; this plot shows what "
               "came so far -->\n");
    file.write(std::string_view(text).substr(first_line));
  } else {
    file.write(text);
  }
  file.commit(incomplete);
}

} // namespace vorax
