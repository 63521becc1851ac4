// Girder blocks (BLOC): stretches of the machine between a start and an end element displaced as
// one piece. The block check walks with the positions; the particles enter the displaced frame
// before the start element and leave it after the end element.
#include "common/engine_tables.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "track/tracking_effects.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

// Stop codes of a block opened twice and of a block closed over an open inner one.
constexpr int BLOCK_REOPENED = 237;
constexpr int BLOCK_NESTING = 238;

void draw_values(Block &b) {
  for (int k = 0; k < 7; ++k)
    b.drawn[k] = cblock.random_option == 0
                     ? b.user[k]
                     : b.user[k] * rannum(cblock.index, cblock.random_option, 2.0, cblock.mode);
}

void exit_values(const Block &b, double length) {
  const double *d = b.drawn;
  cblock.exit[0] = -(d[0] + length * d[1]);
  cblock.exit[1] = -d[1];
  cblock.exit[2] = -(d[2] + length * d[3]);
  cblock.exit[3] = -d[3];
  cblock.exit[4] = -d[4];
  cblock.exit[5] = -d[5];
  cblock.exit[6] = -d[6];
  cblock.exit[7] = (d[1] * d[1] + d[3] * d[3]) * length / 2;
}

double start_path_length(int p) {
  return p <= 1 ? 0.0 : blank.path_length(p - 1);
}

} // namespace

// BLOC: the block option and the random option, then per block its start and end element and
// the seven displacements dx, dx', dy, dy', ds, roll, ddelta.
void block(int, int &end_flag) {
  cblock.index = cseeds.master_seed;
  cblock.mode = 0;
  cblock.count = 0;
  read_bloc_data(end_flag, [](const DataRecord &r) {
    if (r.role == std::string_view("OPTIONS")) {
      cblock.option = truncated(r.value(1));
      cblock.random_option = truncated(r.value(2));
      return;
    }
    if (cblock.count == MAX_BLOCKS) {
      engine_message(" TOO MANY BLOCKS, MAXIMUM IS : " + std::to_string(MAX_BLOCKS));
      engine_stop(8);
    }
    Block &b = cblock.block[++cblock.count];
    b = Block{};
    b.start = elid(Name8(r.name));
    b.end = elid(Name8(r.second_name));
    for (int k = 0; k < 7; ++k)
      b.user[k] = r.value(k + 1);
  });
  cblock.on = 1;
  if (cblock.random_option < 10) {
    cblock.index = cseeds.master_seed;
    cblock.mode = 0;
  } else {
    cblock.random_option -= 10;
    cblock.index = 1;
    cblock.mode = 1;
  }
}

void blockchk(int p, int e) {
  cblock.position_state = 0;
  for (int j = 1; j <= cblock.count; ++j) {
    Block &b = cblock.block[j];
    if (e == b.start) {
      if (b.state != -1) {
        engine_message(" a block starting with the name : " + chinp.elname(e).str() +
                       " has already");
        engine_message(" been opened and is not closed. Run is stopped ");
        engine_stop(BLOCK_REOPENED);
      }
      draw_values(b);
      for (int k = 0; k < 7; ++k)
        cblock.entry[k] = b.drawn[k];
      b.start_s = start_path_length(p);
      // A block of one element is entered before it and left after it at the same position;
      // the blocks around it see nothing of it.
      if (b.end == e) {
        exit_values(b, blank.path_length(p) - b.start_s);
        cblock.position_state = 3;
        return;
      }
      b.state = 0;
      for (int k = 1; k <= cblock.count; ++k)
        if (k != j && cblock.block[k].state == 0) {
          cblock.block[k].state = j;
          break;
        }
      cblock.position_state = 1;
      return;
    }
    if (e == b.end) {
      if (b.state != 0) {
        engine_message(" the block ending with name :" + chinp.elname(e).str());
        engine_message(" may not be closed ");
        engine_message(" because another open block is nested . Run is stopped");
        engine_stop(BLOCK_NESTING);
      }
      exit_values(b, blank.path_length(p) - b.start_s);
      b.state = -1;
      for (int k = 1; k <= cblock.count; ++k)
        if (cblock.block[k].state == j)
          cblock.block[k].state = 0;
      cblock.position_state = 2;
      return;
    }
  }
}

void blin(const double d[7], double z[6]) {
  const double c = std::cos(d[5]), s = std::sin(d[5]);
  const double xp1 = z[1] - d[1], yp1 = z[3] - d[3];
  const double x = z[0] - d[0] + d[4] * xp1, y = z[2] - d[2] + d[4] * yp1;
  z[0] = c * x - s * y;
  z[1] = c * xp1 - s * yp1;
  z[2] = s * x + c * y;
  z[3] = s * xp1 + c * yp1;
  z[5] = z[5] - d[6];
}

void blout(const double e[8], double z[6]) {
  const double c = std::cos(e[5]), s = std::sin(e[5]);
  const double x = z[0], xp = z[1], y = z[2], yp = z[3];
  const double xp2 = c * xp - s * yp, yp2 = c * yp + s * xp;
  z[0] = c * x - s * y + e[4] * xp2 - e[0];
  z[1] = xp2 - e[1];
  z[2] = c * y + s * x + e[4] * yp2 - e[2];
  z[3] = yp2 - e[3];
  z[4] = z[4] - e[7];
  z[5] = z[5] - e[6];
}

} // namespace vorax
