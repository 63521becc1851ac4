// EXPLODE: the expanded machine printed as an indented tree of beam lines, with the element
// names of each line in rows whose indentation and width are set in run-time formats.
#include "input/beam_lines.h"

#include "common/units.h"
#include "input/elements.h"
#include "input/reader.h"

#include <algorithm>
#include <array>

namespace vorax {

namespace {

// Run-time formats; the "nn" fields are filled by form().
constexpr std::string_view START_FORMAT = "(1X,nnX,'@',A8)";
constexpr std::string_view END_FORMAT = "(1X,nnX,'*',A8)";
constexpr std::string_view ROW_FORMAT = "(5X,nnX,nn(A8,1X))";
constexpr int INDENT_FIELD = 5; // column of the indentation count in all three formats
constexpr int COUNT_FIELD = 9;  // column of the names-per-row count in the row format

// Renders one record from a format of nX, 'text', A/Aw and repeated groups n(...); stops at
// the first A descriptor with no item left. Blanks inside counts are ignored.
class FormatRecord {
public:
  FormatRecord(std::string_view format, const std::string_view *items, std::size_t item_count)
      : f_(format), items_(items), item_count_(item_count) {}

  std::string render() {
    std::size_t p = 1; // after the outer "("
    run(p, 1);
    return out_;
  }

private:
  int count(std::size_t &p, int none) {
    int n = 0;
    bool any = false;
    while (p < f_.size() && (f_[p] == ' ' || (f_[p] >= '0' && f_[p] <= '9'))) {
      if (f_[p] != ' ') {
        n = n * 10 + (f_[p] - '0');
        any = true;
      }
      ++p;
    }
    return any ? n : none;
  }

  // Interprets the descriptors from p to the closing ")" `times` times, leaving p on that ")";
  // false once the items ran out.
  bool run(std::size_t &p, int times) {
    const std::size_t begin = p;
    for (int t = 0; t < times; ++t) {
      p = begin;
      while (p < f_.size() && f_[p] != ')') {
        if (f_[p] == ',') {
          ++p;
        } else if (f_[p] == '\'') {
          const std::size_t close = f_.find('\'', p + 1);
          if (close == std::string_view::npos)
            return false;
          out_ += f_.substr(p + 1, close - p - 1);
          p = close + 1;
        } else {
          const int n = count(p, 1);
          const char d = p < f_.size() ? f_[p++] : ')';
          if (d == 'X') {
            out_.append(static_cast<std::size_t>(n), ' ');
          } else if (d == 'A') {
            const int w = count(p, 0);
            if (next_ >= item_count_)
              return false;
            std::string item(items_[next_++]);
            if (w > 0)
              item.resize(static_cast<std::size_t>(w), ' ');
            out_ += item;
          } else if (d == '(') {
            if (n == 0) {
              skip_group(p);
            } else {
              if (!run(p, n))
                return false;
              ++p;
            }
          }
        }
      }
    }
    return true;
  }

  // From just after a "(" to just after its matching ")".
  void skip_group(std::size_t &p) {
    for (int level = 1; p < f_.size() && level > 0; ++p)
      level += f_[p] == '(' ? 1 : f_[p] == ')' ? -1 : 0;
  }

  std::string_view f_;
  const std::string_view *items_;
  std::size_t item_count_;
  std::size_t next_ = 0;
  std::string out_;
};

// Indentation of depth d: the two-digit format field caps it at 99 columns.
int indentation(int depth) {
  return std::min(2 * depth, 99);
}

void write_marker(std::string_view format_text, int depth, int entry) {
  std::string format(format_text);
  form(indentation(depth), INDENT_FIELD, format);
  const std::string_view name = elmnam.name(entry).view();
  write_record(iodata.listing_unit, FormatRecord(format, &name, 1).render());
}

// Prints the element names of positions from..to in rows; a deeply nested line still gets one
// name a row.
constexpr int MAX_PER_ROW = 75 / 8;
void write_names(int from, int to, int depth) {
  const int per_row = std::max((75 - 2 * depth) / 8, 1);
  std::string format(ROW_FORMAT);
  form(indentation(depth), INDENT_FIELD, format);
  form(per_row, COUNT_FIELD, format);
  std::array<std::string_view, MAX_PER_ROW> row;
  for (int p = from; p <= to; p += per_row) {
    std::size_t n = 0;
    for (int q = p; q <= to && q < p + per_row; ++q)
      row[n++] = elmnam.name(seqnum.value(q)).view();
    write_record(iodata.listing_unit, FormatRecord(format, row.data(), n).render());
  }
}

} // namespace

void form(int number, int position, std::string &format) {
  const int n = std::clamp(number, 0, 99);
  const std::size_t at = static_cast<std::size_t>(position - 1);
  if (at + 2 > format.size())
    return;
  format[at] = n < 10 ? ' ' : static_cast<char>('0' + n / 10);
  format[at + 1] = static_cast<char>('0' + n % 10);
}

void xplode() {
  if (flags.value(5) != 1)
    return;
  const int first = std::max(period.value(6), 1);
  const int last = std::min(period.value(7), machine_limits().maxpos);
  int depth = 0;
  int names_from = first; // first position of the elements not yet printed
  for (int p = first; p <= last; ++p) {
    const int v = seqnum.value(p);
    if (v <= line_start_mark())
      continue;
    write_names(names_from, p - 1, depth);
    names_from = p + 1;
    if (v > line_end_mark()) {
      depth = std::max(depth - 1, 0);
      write_marker(END_FORMAT, depth, v - line_end_mark());
    } else {
      write_marker(START_FORMAT, depth, v - line_start_mark());
      ++depth;
    }
  }
  write_names(names_from, last, depth);
}

} // namespace vorax
