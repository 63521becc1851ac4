// The central error stop and its table of error numbers and names.
#include "common/halt.h"

#include "common/control.h"
#include "common/format.h"
#include "common/units.h"

#include <array>
#include <string>

namespace vorax {

namespace {

struct ErrorEntry {
  int code;
  const char *name;
};

// Searched in this order; the names are shown padded to 20 characters. Kept three to a line
// as written, so that an entry added at the end leaves the other lines as they are.
// clang-format off
constexpr std::array<ErrorEntry, 87> error_table{{
    {0, "ARR MXLVAR MXLCOND"},   {1, "ARRSIZE MAXCOR"},       {2, "ARRSIZE MXLIST"},
    {3, "ARRSIZE MAXMAT"},       {4, "ARRSIZE MAXPOS"},       {5, "ARRSIZE MAXELM"},
    {6, "ARRSIZE MAXDAT"},       {7, "ARRSIZE MXELMD"},       {8, "ARRSIZE"},
    {9, "ARRSIZE MAXPAR"},       {10, "ARRSIZE MAXLST"},      {11, "ARRSIZE SEQUENCE"},
    {12, "ARRSIZE HARMON"},      {13, "ARRSIZE ADIAPAR"},     {14, "ARR SHOMIS INTVAL#"},
    {15, "ARR SHOMIS ELM #"},    {16, "ARRSIZE MXMTR"},       {17, "ARR PRT TYPE #"},
    {18, "ARR PRT NAME #"},      {100, "LDF INP MAJOR ERR"},  {101, "LDFIN NORMAL END"},
    {102, "LDFIN READ ERROR"},   {103, "LDFIN SCAN STOP"},    {200, "ADIA:OPTION ERR"},
    {201, "ALIG:NOCORR FOUND"},  {202, "ALIG:MORE MONIT"},    {203, "ALIG:NO MON FOUND"},
    {204, "ALIG:MON OPT ERR"},   {205, "ALIG:BAD ELM PAR"},   {206, "ALIG:MORE CORR"},
    {210, "BASE:NO BEGIN KICK"}, {211, "BASE:NO END KICK"},   {215, "CAV:NOT A CAVITY"},
    {220, "CHNGCOR:NOT A COR"},  {221, "CHNGCOR:NOT SET"},    {223, "SETCOR:NO MATCH"},
    {230, "CONDF:# ERROR"},      {235, "INTER:TERM ID ERR"},  {236, "INTER:NORMAL STOP"},
    {240, "NOT A PARM NAME"},    {241, "USE A GKICK"},        {245, "ELID:NO MATCH"},
    {246, "ELEM NOT IN MACH"},   {250, "ERR: RAND OPT ERR"},  {251, "ERR: BAD NUMBER"},
    {252, "ERR:ELEM NO ERR"},    {255, "FIT:NO 2 FITPT"},     {256, "FIT:NO FITPT MATCH"},
    {257, "FIT: WRONG ELEM PARM"}, {258, "FIT: UNSTABLE MOVMT"}, {259, "FIT:WRONG ELEM"},
    {260, "GENER:NO BEAM DEF"},  {261, "GENER:BAD OPT #"},    {262, "GENER: DIAGON FAIL"},
    {265, "ELEM: NOT EVEN #"},   {266, "ELEM:BAD INDEX"},     {270, "INPUT:BAD OUPUT OPT"},
    {271, "INPUT:MORE INP #"},   {272, "INPUT:BAD FORMAT"},   {273, "LESS INPUT #"},
    {275, "MIS:BAD RAN OPT"},    {276, "MIS:BAD MIS OPT"},    {277, "MIS:REPORT ERROR"},
    {278, "MIS:ELEM NOT MISAL"}, {280, "OPER:BAD OPER NAME"}, {281, "PARTAN:DIAGON FAIL"},
    {282, "PLOT:NGRAPH ERR"},    {285, "RAND:BAD OPT #"},     {286, "RAND: BAD SIGMA #"},
    {288, "RMAT:PART LOST"},     {290, "SHOCOR:BAD OPT #"},   {300, "DETAIL: PART LOST"},
    {301, "DETAIL:NO BEAM DEF"}, {302, "TRACK:PART LOST"},    {303, ""},
    {304, "MOVMT:PART LOST"},    {305, "MOVMT:BAD DETERM"},   {310, "LMDIF:INFORM"},
    {320, "SIMEQ:SING SET OF EQ"}, {400, "PRINT:WRNG KWD"}, {237, "BLOC:REOPENED"},
    {238, "BLOC:NESTED CLOSE"},  {289, "RMAT:ZERO STEP"},     {222, "CORDAT:NOT EVEN #"},
    {306, "TRACK:BAD ELEM PAR"},
    {225, "COCO:BAD DATA"},      {226, "COCO:NO CLOSED ORBIT"},
}};
// clang-format on

std::string padded20(const char *name) {
  std::string s(name);
  s.resize(20, ' ');
  return s;
}

} // namespace

std::string_view error_name(int code) {
  static const auto names = [] {
    std::array<std::string, error_table.size() + 1> n;
    for (std::size_t i = 0; i < error_table.size(); ++i)
      n[i] = padded20(error_table[i].name);
    n[error_table.size()] = "ERROR NOT IN TABLE  ";
    return n;
  }();
  for (std::size_t i = 0; i < error_table.size(); ++i)
    if (error_table[i].code == code)
      return names[i];
  return names[error_table.size()];
}

void halt(int code) {
  const std::string line = "  HALTING WITH ERROR NUMBER : " + fI(code, 6) +
                           "  AND ERROR : " + std::string(error_name(code));
  if (cinter.mode == 1) {
    if (cinter.recorded == 0) {
      cinter.recorded = code;
      write_record(control.output_unit, line);
      write_record(control.echo_unit, line);
    }
    return;
  }
  write_record(control.output_unit, line);
  if (control.echo_flag)
    write_record(control.echo_unit, line);
  throw RunEnd{code};
}

} // namespace vorax
