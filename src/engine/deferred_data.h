// The data-reading halves of the operations not yet computed: each reader takes all records of
// its operation by the operation's own layout and hands each to a sink (none while skipping).
#pragma once

#include "common/limits.h"

#include <functional>
#include <string>
#include <utility>

namespace vorax {

// One record of an operation's data as its reader met it. The values live in the reader's
// buffer and are valid only during the sink's call.
struct DataRecord {
  explicit DataRecord(const char *place, std::string first = {}, std::string second = {})
      : role(place), name(std::move(first)), second_name(std::move(second)) {}
  const char *role;        // its place in the operation's layout
  std::string name;        // the leading name (8 characters, blank-padded), or empty
  std::string second_name; // a second name, such as the parameter after an element name
  int count = 0;           // values read
  const double *values = nullptr;
  double value(int k) const { return values[k - 1]; }
};
using RecordSink = std::function<void(const DataRecord &)>;

// A ";" ends the data of the operation: no further record is read, for the lines after it
// belong to the lattice language, even where the layout would want more.
inline bool data_ended(int end_flag) {
  return end_flag == 1;
}

// Reads one name (8 characters, a longer word cut) and no numbers. Returns false, reading
// nothing, when the data have already ended, and when a ";" comes where the name should.
bool read_data_name(int &end_flag, std::string &name);

// The end of a list of names: a name beginning with "99".
bool ends_name_list(const std::string &name);

// Reads values into record (count > 0: exactly count; < 0: any number up to "," or ";"; 0:
// none), into cintak unless a buffer is given. Returns false, reading nothing, when the data
// have already ended.
bool read_data_values(int &end_flag, int count, DataRecord &record, double *buffer = nullptr,
                      int capacity = NINPUT);

// Twice a range count of pairs, held within what a record can take (a larger count then stops
// the run in the reader).
int pair_values(int pairs);

void give(const RecordSink &sink, const DataRecord &record);

// Reads entries that each begin with a name, up to a name beginning with "99" or the end of
// the data; entry(name) reads the rest of each entry.
template <class Entry> void read_name_list(int &end_flag, Entry entry) {
  std::string name;
  while (read_data_name(end_flag, name) && !ends_name_list(name))
    entry(name);
}

// Lattice functions by tracking, parameter changes, beam generation.
void read_move_data(int &end_flag, const RecordSink &sink = {}); // MOVE
void read_modi_data(int &end_flag, const RecordSink &sink = {}); // MODI
void read_tune_data(int &end_flag, const RecordSink &sink = {}); // TUNE
void read_gene_data(int &end_flag, const RecordSink &sink = {}); // GENE

// Tracking and its effects.
void read_bloc_data(int &end_flag, const RecordSink &sink = {}); // BLOC
void read_rmat_data(int &end_flag, const RecordSink &sink = {}); // RMAT
void read_sync_data(int &end_flag, const RecordSink &sink = {}); // SYNC
void read_spac_data(int &end_flag, const RecordSink &sink = {}); // SPAC
void read_seis_data(int &end_flag, const RecordSink &sink = {}); // SEIS
void read_adia_data(int &end_flag, const RecordSink &sink = {}); // ADIA

// Misalignments, field errors, random numbers.
void read_misa_data(int &end_flag, const RecordSink &sink = {}); // MISA
void read_erro_data(int &end_flag, const RecordSink &sink = {}); // ERRO
void read_setm_data(int &end_flag, const RecordSink &sink = {}); // SETM
void read_sete_data(int &end_flag, const RecordSink &sink = {}); // SETE
void read_shom_data(int &end_flag, const RecordSink &sink = {}); // SHOM
void read_shoe_data(int &end_flag, const RecordSink &sink = {}); // SHOE

// Correctors and orbit correction.
void read_corr_data(int &end_flag, const RecordSink &sink = {}); // CORR
void read_setc_data(int &end_flag, const RecordSink &sink = {}); // SETC
void read_chan_data(int &end_flag, const RecordSink &sink = {}); // CHAN
void read_read_data(int &end_flag, const RecordSink &sink = {}); // READ
void read_alig_data(int &end_flag, const RecordSink &sink = {}); // ALIG
void read_refe_data(int &end_flag, const RecordSink &sink = {}); // REFE
void read_base_data(int &end_flag, const RecordSink &sink = {}); // BASE
void read_coco_data(int &end_flag, const RecordSink &sink = {}); // COCO

// Operations whose data have no fixed layout yet (DETA, GEOM, LINE, PART, FILE, INTE, CAVI).
void read_one_record(int &end_flag, const RecordSink &sink = {});

} // namespace vorax
