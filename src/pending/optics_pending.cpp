// Placeholders: matrix operation and periodic analysis.
#include "common/reset.h"
#include "optics/matrix_operation.h"
namespace vorax {
void matpre(int, int &) {}
void matrix() {}
void anal() {}
void pranal(int) {}
void zqvout(int &) {}
void reset_optics_areas() {}
} // namespace vorax
