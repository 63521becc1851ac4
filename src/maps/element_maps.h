// Element transfer maps: the dispatcher, composition, tilt and the symplectic option.
//
// Phase-space vector (x, x', y, y', l, delta): x' = dx/ds is the geometric slope, l the
// path-length difference (positive for a longer path), delta = dp/p. In these variables the
// first-order part R of a map without acceleration satisfies R^T J R = J with
//   J = diag(J2, J2, -J2),  J2 = ((0, 1), (-1, 0)),
// the sign of the last block being reversed because l is minus the canonical conjugate of
// delta. Under the symplectic option the stored maps are instead canonical maps in
// (x, px, y, py, -l, delta) (see symmap.h), for which J = diag(J2, J2, J2).
//
// The builders are pure: an element's values (ElementValues) and a MapContext in, a map out,
// written into a map the caller gives or returned as a value; none reads the engine's mode
// words or writes a record. matgen, promat, compose_position, tiltm, tiltmm, symmtx and lcav
// are the wrappers that take the context from the engine's words (map_context) and file the
// results into the records.
#pragma once

#include "common/slots.h"
#include "common/transfer_map.h"

#include <optional>

namespace vorax {

struct SymmapEntry;

// The settings a map is built or composed under.
struct MapContext {
  int ncol = 27;           // columns carried: 27 at map order 2, 6 at map order 1
  int eunits = 0;          // unit convention of the values: 0 standard, 1 LDF, 2 MERIDOXAN
  bool symplectic = false; // the symplectic option: maps are canonical and drifts act so
  double velocity = 1.0;   // the option's reference velocity b in the canonical drift
  // LCAVITY: the energy at its entrance, GeV; without it, the element's own E0.
  std::optional<double> entry_energy;
};

// The context of the engine's own maps: the map order, the unit convention of the element
// data and the symplectic option as they stand.
MapContext map_context();

// The map of an element of the given values under the context, touching no record: the built
// map of a kind that has one (tilted, and treated by the symplectic option when the context has
// it on, except LCAVITY; its generating function goes to *entry when given), or the action of a
// kind without one as it composes (drift, general kick). For an engine element it equals what
// matgen files at map order 2 (an LCAVITY given the entry energy of its first position). At order
// 1 only the first-order part is built; the second-order columns are 0.
TransferMap element_map(const ElementValues &element, const MapContext &ctx,
                        SymmapEntry *entry = nullptr);
TransferMap element_map(int element, const MapContext &ctx, SymmapEntry *entry = nullptr);

// Builds the map of a kind that has one into map (tilted for the tiltable kinds): columns
// 1..ctx.ncol are written, the others left as they are, as a record rebuilt at map order 1 keeps
// its second-order terms. false (map untouched) for the kinds without a map.
bool build_element_map(const ElementValues &element, const MapContext &ctx, TransferMap &map);

// work <- element o work: with its built map (record) when the kind has one and record is given,
// else as a drift of its length, the general kick with its roll and DZ.
void compose_element(const ElementValues &element, const TransferMap *record, TransferMap &work,
                     const MapContext &ctx);

// The entry energy of the LCAVITY at a position of the machine (the initial energy at the first
// listed cavity, else the current energy after the position before); none when the position
// holds no listed cavity.
std::optional<double> linac_entry_energy(int position);

// The map of a multipole's quadrupole and sextupole terms over the given length (the element's
// own for its record, half of it for the halves around the thin kick of tracking), turned into
// the frame of its terms' angles but not by the element's TILT.
TransferMap multipole_body_map(const ElementValues &element, double length, const MapContext &ctx);

// A bend cut across its body into count pieces of the given fractions of its length (summing to
// 1): the first piece holds the entrance edge, the last the exit edge, each is turned by the
// bend's tilt and, when the context has the symplectic option on, treated by it (its generating
// function to entries[k]). Composed in order they are the bend's map. False (nothing written)
// for an element that is not a bend or does not bend (angle or length 0).
bool bend_piece_maps(const ElementValues &element, const MapContext &ctx, const double *fractions,
                     int count, TransferMap *pieces, SymmapEntry *entries);

// The map from a bend's entrance to a point of its body at the given fraction of its length (0:
// just inside the entrance face, 1: just before the exit face): the entrance edge and that share
// of the body, built as the whole bend is, turned by the bend's tilt and, when the context has
// the symplectic option on, treated by it. False (nothing written) as for bend_piece_maps.
bool bend_cut_map(const ElementValues &element, const MapContext &ctx, double fraction,
                  TransferMap &map);

// Rotation of a map about the beam axis by angle (radians) over its first ncol columns, and by
// the element's own tilt (its last slot, by unit convention) for a tiltable element.
void tilt_map(TransferMap &map, double angle, int ncol);
void tilt_element_map(const ElementValues &element, const MapContext &ctx, TransferMap &map);

void matgen(int element); // builds the map of the element into its record
// matgen for the element's visit of one position with values changed for that visit alone:
// a cavity's changed gain moves the current energies from that position on.
void matgen_at(int element, int position);
// Rebuilds the map of an element whose design values changed (MODI, TUNE, the fits, slow
// changes): as matgen, and for a cavity of the machine the energies along it are filled again
// from the lattice, design and current alike, and every cavity whose entrance energy moved is
// rebuilt too, so that the machine is the one the lattice written with the new values gives.
void rebuild_design_map(int element);
// Composes the element's map (record matnum, or the drift-like action of kinds without a
// record) after the working map: work <- element o work.
void promat(int element, int matnum, TransferMap &work);
// The same for the element at a position of the machine: work <- map at position o work. An
// LCAVITY is composed with its map for that position's entry energy, so that a cavity used at
// several positions accelerates from the right energy at each; every other element with its
// record (or its drift-like action).
void compose_position(int position, TransferMap &work);
// The same under an explicit context: the engine's mode words (map order, row length, unit
// convention, symplectic option) are neither read nor set.
void compose_position(int position, TransferMap &work, const MapContext &ctx);
void tiltmm(int element, int matnum, double angle); // the record turned by tilt_map
void symmtx(int matnum);                            // matnum < 1: every stored map
void setsym(int code, int &end_flag);               // SETS

// SETS after its data are read: mode (whole number) and reference energy in GeV. When the
// option was off, every stored map is treated once; then the option is on.
void set_symplectic_option(int mode, double energy);

// Columns a map carries at the current map order: 27 at order 2, 6 at order 1.
int map_columns();

// a <- m o a over the first ncol columns (6 or 27), through the extended matrix of a.
// Summation runs over the columns of m in ascending order, so the result is the same as the
// plain product of m with the extended matrix, and bit-identical from run to run.
void compose_maps(const TransferMap &m, TransferMap &a, int ncol);

// The entries of a field-free drift of the given length written over an identity map:
// R(1,2) = R(3,4) = length and, when ncol is 27, T(5,2,2) = T(5,4,4) = length / 2.
void drift_entries(TransferMap &map, double length, int ncol);

// The element's tilt or roll angle in radians from its stored value, by unit convention:
// unchanged (0), negated (1), degrees (2).
double convention_angle(double stored, int eunits);

// Cosine and sine of a rotation angle; a quarter turn (within 1e-12 of pi/2) is exact, so a
// rotated map exchanges its planes without rounding residue.
void rotation_cos_sin(double angle, double &c, double &s);

} // namespace vorax
