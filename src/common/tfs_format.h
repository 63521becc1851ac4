// The cells and lines of TFS tables, the text tables that the tools of the field read. The
// program's table writer and the result collector both write through these, so that a table
// collected from many runs reads exactly like one a run wrote.
#pragma once

#include <string>
#include <string_view>

namespace vorax {

enum class TfsType { text, integer, real }; // %s, %d, %le

// The format word of a column or header line ("%s", "%d", "%le").
std::string_view tfs_format(TfsType type);

// Formats of the cells, also used by readers of the tests: reals with 17 significant digits
// (a value read back is the double written); texts in double quotes, a double quote inside
// becoming an apostrophe so that the line stays readable, trailing blanks dropped.
std::string tfs_real(double value);
std::string tfs_text(std::string_view value);

// One header line "@ NAME FORMAT VALUE\n", the name padded to 16 and the format to 4
// characters; value is the formatted text (quoted for %s).
std::string tfs_header_line(std::string_view name, std::string_view format, std::string_view value);

// One cell of a column line or a row: a blank, then the text right-aligned in 24 characters.
std::string tfs_cell(std::string_view formatted);

} // namespace vorax
