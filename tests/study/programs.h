// The programs run as a user starts them: in a working directory of their own, with arguments,
// their standard error and exit status kept, the files they write read back.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vorax::test {

struct ProgramRun {
  int status = -1;
  std::string terminal; // standard error
};

// A fresh temporary directory, removed with everything in it when the object goes.
class WorkDir {
public:
  WorkDir();
  ~WorkDir();
  WorkDir(const WorkDir &) = delete;
  WorkDir &operator=(const WorkDir &) = delete;
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// Starts program in dir with args (standard input empty, standard output to dir/.stdout,
// standard error to dir/.stderr.N); wait() ends it. Several can run at once.
pid_t start_program(const std::string &dir, const std::string &program,
                    const std::vector<std::string> &args, int n = 0);
ProgramRun wait_program(pid_t pid, const std::string &dir, int n = 0);
ProgramRun run_program_in(const std::string &dir, const std::string &program,
                          const std::vector<std::string> &args);

std::string file_text(const std::string &path);
// Every regular file under dir (its subdirectories too) by its path relative to dir; names
// starting with "." (the captured streams) are left out.
std::map<std::string, std::string> files_under(const std::string &dir);

} // namespace vorax::test
