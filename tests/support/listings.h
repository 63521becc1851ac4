// Numbers read back from listings, beside the text helpers of the harness.
#pragma once

#include <string>
#include <string_view>

namespace vorax::test {

// The first number after the n-th occurrence of label (NaN when there are fewer).
double nth_number(const std::string &text, std::string_view label, int n);

// The number after the last occurrence of label (NaN when there is none).
double last_number_after(const std::string &text, std::string_view label);

} // namespace vorax::test
