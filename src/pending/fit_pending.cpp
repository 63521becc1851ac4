// Placeholders: fitting operations.
#include "common/reset.h"
#include "fit/fitting.h"
namespace vorax {
void fitmat(int &) {}
void fitlsq(int &) {}
void fitpt(int &) {}
void setout() {}
bool fit_collecting() { return false; }
bool fit_needs_beam() { return false; }
void reset_fit_areas() {}
} // namespace vorax
