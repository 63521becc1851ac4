// The files written beside the listing when the command line asks for them: TFS tables
// (--tables DIR) and SVG plots (--plots DIR). Without the options nothing is written.
#pragma once

#include "common/reset.h"

#include <map>
#include <string>
#include <string_view>

namespace vorax {

// The directories chosen on the command line (empty: that kind of file is not written) and
// the number of result files each operation has started so far.
struct Resout {
  std::string tables_dir;
  std::string plots_dir;
  std::map<std::string, int, std::less<>> calls;
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

// Writes a whole file under a temporary name and renames it when complete, so that a file of
// that name is always whole. A file that cannot be written ends the run as any output does.
void write_result_file(const std::string &path, const std::string &text);

} // namespace vorax
