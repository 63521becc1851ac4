// Handlers of the operations this version does not provide: each reads all of the operation's
// data by its own layout (engine/deferred_data.h), says that the operation is not available,
// and passes the end flag on, so that the operation stream stays in step.
#pragma once

namespace vorax {

// Lattice functions, tracking, parameter changes.
void twan(int code, int case_number, int &end_flag); // MOVE
void trapre(int &end_flag);                          // TRAC
void modpre(int &end_flag);                          // MODI
void tune(int &end_flag);                            // TUNE
void rmpre(int &end_flag);                           // RMAT
void gener(int &end_flag);                           // GENE

// Misalignments, field errors, correctors and orbit correction.
void misdat(int &end_flag); // MISA
void errdat(int &end_flag); // ERRO
void setmis(int &end_flag); // SETM
void seterr(int &end_flag); // SETE
void align(int &end_flag);  // ALIG
void reforb(int &end_flag); // REFE
void cordat(int &end_flag); // CORR
void setcor(int &end_flag); // SETC
void shocor(int &end_flag); // SHOC
void base(int &end_flag);   // BASE
void shoerr(int &end_flag); // SHOE
void shomis(int &end_flag); // SHOM
void chgcor(int &end_flag); // CHAN
void rdmon(int &end_flag);  // READ

// Radiation, slow changes, space charge, blocks.
void setsyn(int &end_flag); // SYNC
void setadi(int &end_flag); // ADIA
void seism(int &end_flag);  // SEIS
void block(int &end_flag);  // BLOC
void spchg(int &end_flag);  // SPAC

// Output: drawing records, layout, COSY script (which ends the run).
void hpon(int &end_flag);  // CADO
void lay(int &end_flag);   // LAYO
void dcosy(int &end_flag); // COSY

// Analyses without a description in this version.
void detail(int &end_flag); // DETA
void geaber(int &end_flag); // GEOM
void linabe(int &end_flag); // LINE
void partan(int &end_flag); // PART
void filpre(int &end_flag); // FILE
void inter(int &end_flag);  // INTE
void setcav(int &end_flag); // CAVI

} // namespace vorax
