// Operations this version does not provide: their data are read and skipped with one line of
// explanation, so that a deck written for them still runs through its other operations.
#include "engine/unavailable_operations.h"

#include "engine/operation_data.h"

#include <string>

namespace vorax {

namespace {

void skip_operation(const char *name, int &end_flag) {
  input_record(end_flag);
  engine_message(std::string(" OPERATION ") + name +
                 " IS NOT AVAILABLE IN THIS VERSION; ITS DATA ARE SKIPPED");
}

} // namespace

void twan(int, int, int &end_flag) {
  skip_operation("MOVE", end_flag);
}
void trapre(int &end_flag) {
  skip_operation("TRAC", end_flag);
}
void modpre(int &end_flag) {
  skip_operation("MODI", end_flag);
}
void tune(int &end_flag) {
  skip_operation("TUNE", end_flag);
}
void rmpre(int &end_flag) {
  skip_operation("RMAT", end_flag);
}
void gener(int &end_flag) {
  skip_operation("GENE", end_flag);
}

void misdat(int &end_flag) {
  skip_operation("MISA", end_flag);
}
void errdat(int &end_flag) {
  skip_operation("ERRO", end_flag);
}
void setmis(int &end_flag) {
  skip_operation("SETM", end_flag);
}
void seterr(int &end_flag) {
  skip_operation("SETE", end_flag);
}
void seed(int &end_flag) {
  skip_operation("SEED", end_flag);
}
void align(int &end_flag) {
  skip_operation("ALIG", end_flag);
}
void reforb(int &end_flag) {
  skip_operation("REFE", end_flag);
}
void cordat(int &end_flag) {
  skip_operation("CORR", end_flag);
}
void setcor(int &end_flag) {
  skip_operation("SETC", end_flag);
}
void shocor(int &end_flag) {
  skip_operation("SHOC", end_flag);
}
void base(int &end_flag) {
  skip_operation("BASE", end_flag);
}
void shoerr(int &end_flag) {
  skip_operation("SHOE", end_flag);
}
void shomis(int &end_flag) {
  skip_operation("SHOM", end_flag);
}
void chgcor(int &end_flag) {
  skip_operation("CHAN", end_flag);
}
void rdmon(int &end_flag) {
  skip_operation("READ", end_flag);
}

void setsyn(int &end_flag) {
  skip_operation("SYNC", end_flag);
}
void setadi(int &end_flag) {
  skip_operation("ADIA", end_flag);
}
void seism(int &end_flag) {
  skip_operation("SEIS", end_flag);
}
void block(int &end_flag) {
  skip_operation("BLOC", end_flag);
}
void spchg(int &end_flag) {
  skip_operation("SPAC", end_flag);
}

void hpon(int &end_flag) {
  skip_operation("CADO", end_flag);
}
void lay(int &end_flag) {
  skip_operation("LAYO", end_flag);
}

void dcosy(int &end_flag) {
  input_record(end_flag);
  engine_message(" OPERATION COSY IS NOT AVAILABLE IN THIS VERSION; NO SCRIPT IS WRITTEN AND "
                 "THE RUN ENDS");
}

void detail(int &end_flag) {
  skip_operation("DETA", end_flag);
}
void geaber(int &end_flag) {
  skip_operation("GEOM", end_flag);
}
void linabe(int &end_flag) {
  skip_operation("LINE", end_flag);
}
void partan(int &end_flag) {
  skip_operation("PART", end_flag);
}
void filpre(int &end_flag) {
  skip_operation("FILE", end_flag);
}
void inter(int &end_flag) {
  skip_operation("INTE", end_flag);
}
void setcav(int &end_flag) {
  skip_operation("CAVI", end_flag);
}

} // namespace vorax
