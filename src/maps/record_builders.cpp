// The builders under their classic names: each builds into the record of a matrix number, with
// the columns of the row length word, from the element's values in the engine tables.
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

namespace vorax {

namespace {

MapContext record_context() {
  MapContext ctx = map_context();
  ctx.ncol = prodct.ncol;
  return ctx;
}

using Builder = void (*)(const ElementValues &, const MapContext &, TransferMap &);

void build_record(Builder build, int element, int matnum) {
  build(element_values(element), record_context(), blank.maps(matnum));
}

} // namespace

void hbend(int element, int matnum) {
  build_record(bend_map, element, matnum);
}
void flen2(int element, int matnum) {
  build_record(quad_map, element, matnum);
}
void hexa2(int element, int matnum) {
  build_record(sext_map, element, matnum);
}
void quasex(int element, int matnum) {
  build_record(quadsext_map, element, matnum);
}
void multim(int element, int matnum) {
  build_record(multipole_map, element, matnum);
}

void cavmat(int element, int matnum) {
  build_record(rfcavity_map, element, matnum);
}
void twiss(int element, int matnum) {
  build_record(mtwiss_map, element, matnum);
}
void genral(int element, int matnum) {
  build_record(matrix_map, element, matnum);
}
void solqua(int element, int matnum) {
  build_record(solenoid_map, element, matnum);
}
void quadac(int element, int matnum) {
  build_record(quadac_map, element, matnum);
}

void flen2m(double length, double k1, int matnum) {
  quad_body_map(length, k1, prodct.ncol, blank.maps(matnum));
}
void hexa2m(double length, double strength, int matnum) {
  sext_body_map(length, strength, prodct.ncol, blank.maps(matnum));
}
void qsx(double length, double k1, double strength, int matnum) {
  quad_sext_body_map(length, k1, strength, 0.0, prodct.ncol, blank.maps(matnum));
}
void quad_sext_body(double length, double k1, double b3, double a3, int matnum) {
  quad_sext_body_map(length, k1, b3, a3, prodct.ncol, blank.maps(matnum));
}

void entex(const EdgeBlock &edge, int matnum) {
  bend_edge_map(edge, prodct.ncol, blank.maps(matnum));
}
void magt2(const BodyBlock &body, int matnum) {
  bend_body_map(body, prodct.ncol, blank.maps(matnum));
}

} // namespace vorax
