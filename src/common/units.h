// The unit and record layer: every line read or written by the system goes through here.
// Units 1..99 are Fortran-style logical units; the terminal (standard error) is unit TERMINAL.
// A record is one line; output records start with their carriage-control character.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace vorax {

inline constexpr int TERMINAL = 0;
inline constexpr int STDIN_UNIT = 5;
inline constexpr int LOG_UNIT = 9;
inline constexpr int DECK_UNIT = 15;
inline constexpr int LISTING_UNIT = 16;

// Read status of one record, as the run-time library reports it.
inline constexpr int READ_OK = 0;
inline constexpr int READ_EOF = -1;
inline constexpr int READ_ERROR = 1;

// The widest record any reader keeps: lattice lines and operation lines have 80 columns.
inline constexpr std::size_t RECORD_COLUMNS = 80;

// The code RunEnd carries when an output unit cannot be written. It is not an error number of
// the table: the run ends because nothing more can be reported, not through the error stop.
inline constexpr int WRITE_FAILURE = -1;

// Reads the next record of the unit into line (without the line end), keeping at most `columns`
// characters: the rest of the line is read and dropped, so that memory stays bounded whatever
// the length of a line. A byte-order mark before the first record is dropped and a tab is read
// as a blank; the terminal notes the first of each in the run. A record holding a NUL byte is not
// text and is a read error; the unit then stays in error (every later read fails as well) until it
// is rewound or reconnected. A unit that is not connected reads its default file FOR0nn.DAT; when
// that file does not exist the read fails with READ_ERROR rather than inventing an empty file.
int read_record(int unit, std::string &line, std::size_t columns = RECORD_COLUMNS);

// Writes one record; trailing blanks are dropped. Writing to a unit that is not connected
// creates its default file FOR0nn.DAT. A record that cannot be written (the file cannot be
// created, the disk is full, the file is the deck, the listing or the message log of another
// unit) ends the run: the failure is kept for write_failure() and RunEnd{WRITE_FAILURE} is
// thrown. Later records for that unit are dropped. Failures of the terminal are ignored.
void write_record(int unit, std::string_view text);
inline void terminal(std::string_view text) {
  write_record(TERMINAL, text);
}

// Connects the unit to a named file (status "unknown": created when missing, never truncated
// until the first write). Returns false when the name cannot be connected as a sequential file:
// a directory or other special file, a file that can be neither read nor created, or one of
// the files the program itself reads or writes (the deck, the standard input, the listing and
// the message log), which a write through the unit would destroy.
bool open_unit(int unit, std::string_view name);
void close_unit(int unit);
void rewind_unit(int unit);
bool unit_connected(int unit);
// The number of records read from the unit since it was connected or rewound: the line of its
// file that the last read returned.
int record_number(int unit);
std::string unit_file_name(int unit);
std::string default_unit_name(int unit); // FOR0nn.DAT

// Program start: unit 15 reads the deck file (empty when none), unit 16 writes the listing file
// (standard output when none), unit 9 writes FOR009.DAT, unit 5 is standard input.
void bind_program_units(const std::string &deck, const std::string &listing);
// Flushes every output unit; a failure found here is kept for write_failure() (nothing thrown).
void flush_all_units();
// Ends the run because a file other than a unit (a result file beside the listing) cannot be
// written: what is kept for write_failure() names it, and RunEnd{WRITE_FAILURE} is thrown.
[[noreturn]] void end_on_output_failure(const std::string &description);
void close_all_units();
// The first output failure of the run, naming the unit's file and the reason ("the listing
// out.lis: No space left on device"); empty when every record was written.
const std::string &write_failure();

// Which of the run's own files the path names (the deck, the standard input, the listing, the
// message log, the file of a connected unit, a result file already completed), for a file about
// to be written over; empty when it is none of them. Told apart by device and inode.
std::string file_in_use(const std::string &path);
// A completed result file: no unit may write over it for the rest of the run.
void protect_result_file(const std::string &path, const std::string &description);

// In-process runs: bind units 15 and 5 to texts and keep what units 16 and 9 and the terminal
// receive in memory (unit 9 keeps collecting when it is reconnected under a new name).
// With UnitFiles::on_disk every other file (OPEN, CALL, the echo file, FOR0nn.DAT) is a file in
// the working directory. With UnitFiles::sandbox those files live in memory (sandbox_files())
// and the disk is never touched: a deck can neither create, truncate nor read a host file.
enum class UnitFiles { on_disk, sandbox };
void bind_units_in_memory(std::string_view deck, std::string_view standard_input,
                          UnitFiles files = UnitFiles::on_disk);
const std::string &captured_output(int unit); // unit 16, 9 or TERMINAL
// The files of a sandboxed run by name; a test may put files here before the run.
std::map<std::string, std::string> &sandbox_files();

// Puts the layer back to program start (all units closed, nothing captured, no sandbox).
void reset_units();

} // namespace vorax
