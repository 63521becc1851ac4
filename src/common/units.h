// The unit and record layer: every line read or written by the system goes through here.
// Units 1..99 are Fortran-style logical units; the terminal (standard error) is unit TERMINAL.
// A record is one line; output records start with their carriage-control character.
#pragma once

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

// Reads the next record of the unit into line (without the line end). A unit that is not
// connected reads its default file FOR0nn.DAT; when that file does not exist the read fails
// with READ_ERROR rather than inventing an empty file.
int read_record(int unit, std::string &line);

// Writes one record; trailing blanks are dropped. Writing to a unit that is not connected
// creates its default file FOR0nn.DAT.
void write_record(int unit, std::string_view text);
inline void terminal(std::string_view text) { write_record(TERMINAL, text); }

// Connects the unit to a named file (status "unknown": created when missing, never truncated
// until the first write). Returns false when the file cannot be opened for reading or writing.
bool open_unit(int unit, std::string_view name);
void close_unit(int unit);
void rewind_unit(int unit);
bool unit_connected(int unit);
std::string unit_file_name(int unit);
std::string default_unit_name(int unit); // FOR0nn.DAT

// Program start: unit 15 reads the deck file (empty when none), unit 16 writes the listing file
// (standard output when none), unit 9 writes FOR009.DAT, unit 5 is standard input.
void bind_program_units(const std::string &deck, const std::string &listing);
void flush_all_units();
void close_all_units();

// Test harness: bind units 15 and 5 to texts and keep what units 16 and 9 and the terminal
// receive in memory (unit 9 keeps collecting when it is reconnected under a new name).
void bind_units_in_memory(std::string_view deck, std::string_view standard_input);
const std::string &captured_output(int unit); // unit 16, 9 or TERMINAL

// Puts the layer back to program start (all units closed, nothing captured).
void reset_units();

} // namespace vorax
