// The files written beside the listing when the command line asks for them: TFS tables
// (--tables DIR) and SVG plots (--plots DIR). Without the options nothing is written.
#pragma once

#include "common/reset.h"

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vorax {

// The directories chosen on the command line (empty: that kind of file is not written), the
// number of result files each operation has started so far, and the files that a run ending
// early left incomplete or could not write (for the terminal).
struct Resout {
  std::string tables_dir;
  std::string plots_dir;
  std::map<std::string, int, std::less<>> calls;
  std::vector<std::string> incomplete;
  std::vector<std::string> lost;
};
inline Resout resout;
inline const AreaRegistration resout_registration{reset_area<resout>};

// Why dir cannot receive result files (missing, not a directory, not writable); empty when
// it can.
std::string unusable_directory(const std::string &dir);

inline bool tables_wanted() {
  return !resout.tables_dir.empty();
}
inline bool plots_wanted() {
  return !resout.plots_dir.empty();
}

// The stem of the next result file of an operation: "mach_1", "mach_2", ... one per call,
// shared by the call's table and plot, so that they are found side by side.
std::string next_result_stem(std::string_view operation);
std::string table_path(const std::string &stem); // DIR/stem.tfs
std::string plot_path(const std::string &stem);  // DIR/stem.svg

// Whether the files closed now are complete: not while the run is ending early (the error stop
// or a stop signal unwinding, or the close after it), when they hold only what came so far.
bool results_complete();

// One result file, written under a temporary name in its own directory (".NAME.XXXXXX", which
// no reader looking for NAME or *.tfs sees) and renamed to its name by commit(): no reader ever
// sees a half-written file, and two runs writing into one directory never splice their rows
// (the last one renamed is the file). A file of the name that is one of the run's own files
// (the deck, the listing, ...) is never written over. A write that fails removes the temporary
// file and ends the run as any output does; while the run is already ending it is only noted.
class ResultFile {
public:
  ResultFile(const std::string &path, std::string_view kind); // kind: "table", "plot"
  ~ResultFile();                                              // uncommitted: removed
  ResultFile(const ResultFile &) = delete;
  ResultFile &operator=(const ResultFile &) = delete;

  bool open() const { return file_ != nullptr; }
  void write(std::string_view text);
  // Writes text over the bytes at offset (of the same length as those written there).
  void rewrite(long offset, std::string_view text);
  // Closes the file and renames it to its name; incomplete: noted for the terminal.
  void commit(bool incomplete);

private:
  void fail(const std::string &reason);

  std::string path_, kind_, temporary_;
  std::FILE *file_ = nullptr;
};

// Writes a whole plot (an SVG document) through a ResultFile. A plot drawn while the run is
// ending early shows only what came so far, and says so in a comment after its first line.
void write_result_file(const std::string &path, const std::string &text);

} // namespace vorax
