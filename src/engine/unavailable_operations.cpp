// Operations this version does not provide: each reads all of its data by its own layout and
// says in one line that it is not available, so that a deck written for them still runs
// through its other operations.
#include "engine/unavailable_operations.h"

#include "engine/deferred_data.h"
#include "engine/operation_data.h"

#include <string>

namespace vorax {

namespace {

void not_available(const char *name) {
  engine_message(std::string(" OPERATION ") + name +
                 " IS NOT AVAILABLE IN THIS VERSION; ITS DATA ARE SKIPPED");
}

} // namespace

void twan(int, int, int &end_flag) {
  read_move_data(end_flag);
  not_available("MOVE");
}
void trapre(int &end_flag) {
  read_trac_data(end_flag);
  not_available("TRAC");
}
void modpre(int &end_flag) {
  read_modi_data(end_flag);
  not_available("MODI");
}
void tune(int &end_flag) {
  read_tune_data(end_flag);
  not_available("TUNE");
}
void rmpre(int &end_flag) {
  read_rmat_data(end_flag);
  not_available("RMAT");
}
void gener(int &end_flag) {
  read_gene_data(end_flag);
  not_available("GENE");
}

void misdat(int &end_flag) {
  read_misa_data(end_flag);
  not_available("MISA");
}
void errdat(int &end_flag) {
  read_erro_data(end_flag);
  not_available("ERRO");
}
void setmis(int &end_flag) {
  read_setm_data(end_flag);
  not_available("SETM");
}
void seterr(int &end_flag) {
  read_sete_data(end_flag);
  not_available("SETE");
}
void align(int &end_flag) {
  read_alig_data(end_flag);
  not_available("ALIG");
}
void reforb(int &end_flag) {
  read_refe_data(end_flag);
  not_available("REFE");
}
void cordat(int &end_flag) {
  read_corr_data(end_flag);
  not_available("CORR");
}
void setcor(int &end_flag) {
  read_setc_data(end_flag);
  not_available("SETC");
}
void shocor(int &end_flag) {
  read_shoc_data(end_flag);
  not_available("SHOC");
}
void base(int &end_flag) {
  read_base_data(end_flag);
  not_available("BASE");
}
void shoerr(int &end_flag) {
  read_shoe_data(end_flag);
  not_available("SHOE");
}
void shomis(int &end_flag) {
  read_shom_data(end_flag);
  not_available("SHOM");
}
void chgcor(int &end_flag) {
  read_chan_data(end_flag);
  not_available("CHAN");
}
void rdmon(int &end_flag) {
  read_read_data(end_flag);
  not_available("READ");
}

void setsyn(int &end_flag) {
  read_sync_data(end_flag);
  not_available("SYNC");
}
void setadi(int &end_flag) {
  read_adia_data(end_flag);
  not_available("ADIA");
}
void seism(int &end_flag) {
  read_seis_data(end_flag);
  not_available("SEIS");
}
void block(int &end_flag) {
  read_bloc_data(end_flag);
  not_available("BLOC");
}
void spchg(int &end_flag) {
  read_spac_data(end_flag);
  not_available("SPAC");
}

void hpon(int &end_flag) {
  read_cado_data(end_flag);
  not_available("CADO");
}
void lay(int &end_flag) {
  read_layo_data(end_flag);
  not_available("LAYO");
}

void dcosy(int &end_flag) {
  read_cosy_data(end_flag);
  engine_message(" OPERATION COSY IS NOT AVAILABLE IN THIS VERSION; NO SCRIPT IS WRITTEN AND "
                 "THE RUN ENDS");
}

// The analyses below have no fixed layout yet: one record of any number of values is read.
void detail(int &end_flag) {
  read_one_record(end_flag);
  not_available("DETA");
}
void geaber(int &end_flag) {
  read_one_record(end_flag);
  not_available("GEOM");
}
void linabe(int &end_flag) {
  read_one_record(end_flag);
  not_available("LINE");
}
void partan(int &end_flag) {
  read_one_record(end_flag);
  not_available("PART");
}
void filpre(int &end_flag) {
  read_one_record(end_flag);
  not_available("FILE");
}
void inter(int &end_flag) {
  read_one_record(end_flag);
  not_available("INTE");
}
void setcav(int &end_flag) {
  read_one_record(end_flag);
  not_available("CAVI");
}

} // namespace vorax
