// Placeholders: the magnet builders (bend, sextupole, quadrupole-sextupole, multipole, solenoid,
// accelerating quadrupole) until they land.
#include "maps/builders.h"
namespace vorax {
void hbend(int, int) {}
void hexa2(int, int) {}
void hexa2m(double, double, int) {}
void quasex(int, int) {}
void qsx(double, double, double, int) {}
void multim(int, int) {}
void solqua(int, int) {}
void quadac(int, int) {}
void entex(const EdgeBlock &, int) {}
void magt2(const BodyBlock &, int) {}
} // namespace vorax
