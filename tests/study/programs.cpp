// Running the programs as processes, for the tests of their command lines and of studies.
#include "programs.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace vorax::test {

WorkDir::WorkDir() {
  char tmpl[] = "/tmp/vorax-study-XXXXXX";
  if (!::mkdtemp(tmpl))
    std::abort();
  path_ = tmpl;
}

WorkDir::~WorkDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

pid_t start_program(const std::string &dir, const std::string &program,
                    const std::vector<std::string> &args, int n) {
  const std::string err = dir + "/.stderr." + std::to_string(n);
  const std::string out = dir + "/.stdout." + std::to_string(n);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0)
      ::_exit(127);
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

ProgramRun wait_program(pid_t pid, const std::string &dir, int n) {
  ProgramRun run;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  run.terminal = file_text(dir + "/.stderr." + std::to_string(n));
  return run;
}

ProgramRun run_program_in(const std::string &dir, const std::string &program,
                          const std::vector<std::string> &args) {
  return wait_program(start_program(dir, program, args), dir);
}

std::string file_text(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::map<std::string, std::string> files_under(const std::string &dir) {
  std::map<std::string, std::string> files;
  std::error_code ignored;
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir, ignored)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && !name.starts_with("."))
      files[std::filesystem::relative(e.path(), dir).string()] = file_text(e.path().string());
  }
  return files;
}

} // namespace vorax::test
