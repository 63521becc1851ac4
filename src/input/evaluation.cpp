// Evaluation of the parameter table: the order in which nodes can be computed (each after its
// operands), the evaluation itself with its guarded arithmetic, and the print of one node.
#include "input/diagnostics.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

bool in_table(int i) {
  return (i >= 1 && i <= pardat.low_count) ||
         (i >= pardat.high_mark && i <= machine_limits().maxpar);
}

// An operand counts as ready when it is absent or already has its place in the order.
bool ready(int operand) {
  return operand < 1 || operand > machine_limits().maxpar || parlst.link(operand) >= 0;
}

const char *kind_name(int kind) {
  switch (kind) {
  case PAR_ADD:
    return "ADD";
  case PAR_SUBTRACT:
    return "SUBTRACT";
  case PAR_MULTIPLY:
    return "MULTIPLY";
  case PAR_DIVIDE:
    return "DIVIDE";
  case PAR_EQUALS:
    return "EQUALS";
  case PAR_NEGATE:
    return "NEGATE";
  case PAR_SQRT:
    return "SQRT";
  case PAR_LOG:
    return "LOG";
  case PAR_EXP:
    return "EXP";
  case PAR_SIN:
    return "SIN";
  case PAR_COS:
    return "COS";
  default:
    return "";
  }
}

std::string node_name(int i) {
  return (i >= 1 && i <= machine_limits().maxpar) ? parnam.name(i).str() : std::string(8, ' ');
}

double value_of(int i) {
  return (i >= 1 && i <= machine_limits().maxpar) ? parval.value(i) : 0.0;
}

void guarded(int node, std::string_view warning) {
  log_record(warning);
  parprt(node);
  ++iodata.warning_count;
  report_input(false, pardat.def_line(node), warning);
  parval.value(node) = 0.0;
}

} // namespace

void note_parameter_use(int node, int line) {
  if (node >= 1 && node <= pardat.low_count && pardat.kind(node) == PAR_UNDEFINED)
    paruse.first_use.try_emplace(node, line);
}

// A parameter used but never defined is 0 without a word in the log; the terminal names it,
// once, at its first use.
void warn_undefined_parameters() {
  for (const auto &[node, line] : paruse.first_use) {
    if (node > pardat.low_count || pardat.kind(node) != PAR_UNDEFINED || paruse.told.count(node))
      continue;
    paruse.told.insert(node);
    report_input(false, line,
                 "parameter " + std::string(parnam.name(node).trimmed()) +
                     " is used but never defined: its value is 0");
  }
}

void parord(int &error) {
  apply_parameter_overrides();
  error = 0;
  parlst.head = 0;
  int pending = 0;
  for (int i = 1; i <= machine_limits().maxpar; ++i) {
    if (in_table(i) && pardat.kind(i) >= 1) {
      parlst.link(i) = -1;
      ++pending;
    } else {
      parlst.link(i) = 0;
    }
  }
  auto pass = [&](int from, int to, int &readied) {
    for (int i = from; i <= to; ++i) {
      if (parlst.link(i) != -1)
        continue;
      const bool unary = pardat.kind(i) >= PAR_EQUALS;
      if (ready(pardat.right(i)) && (unary || ready(pardat.left(i)))) {
        parlst.link(i) = parlst.head;
        parlst.head = i;
        ++readied;
        --pending;
      }
    }
  };
  while (pending > 0) {
    int readied = 0;
    pass(1, pardat.low_count, readied);
    pass(pardat.high_mark, machine_limits().maxpar, readied);
    if (readied > 0)
      continue;
    log_record("0*** ERROR *** CIRCULAR PARAMETER DEFINITION(S):");
    ++iodata.error_count;
    error = 1;
    std::string names;
    for (int i = 1; i <= pardat.low_count; ++i)
      if (parlst.link(i) == -1)
        names += " " + std::string(parnam.name(i).trimmed());
    report_input(true, iodata.command_line, "CIRCULAR PARAMETER DEFINITION(S):" + names);
    auto release = [](int from, int to) {
      for (int i = from; i <= to; ++i)
        if (parlst.link(i) == -1) {
          parprt(i);
          parval.value(i) = 0.0;
          parlst.link(i) = 0;
        }
    };
    release(1, pardat.low_count);
    release(pardat.high_mark, machine_limits().maxpar);
    pending = 0;
  }
  // The list was built by pushing at the head: reverse it so the first node readied comes first.
  int reversed = 0;
  for (int i = parlst.head; i != 0;) {
    const int next = parlst.link(i);
    parlst.link(i) = reversed;
    reversed = i;
    i = next;
  }
  parlst.head = reversed;
}

void parevl() {
  for (int i = parlst.head; i != 0; i = parlst.link(i)) {
    const double left = value_of(pardat.left(i));
    const double right = value_of(pardat.right(i));
    double &v = parval.value(i);
    switch (pardat.kind(i)) {
    case PAR_ADD:
      v = left + right;
      break;
    case PAR_SUBTRACT:
      v = left - right;
      break;
    case PAR_MULTIPLY:
      v = left * right;
      break;
    case PAR_DIVIDE:
      if (right == 0.0)
        guarded(i, "0** WARNING ** DIVISION BY ZERO ATTEMPTED --- RESULT SET TO ZERO");
      else
        v = left / right;
      break;
    case PAR_EQUALS:
      v = right;
      break;
    case PAR_NEGATE:
      v = -right;
      break;
    case PAR_SQRT:
      if (right < 0.0)
        guarded(i, "0** WARNING ** SQUARE ROOT OF A NUMBER < 0.0 --- RESULT SET TO ZERO");
      else
        v = std::sqrt(right);
      break;
    case PAR_LOG:
      if (right <= 0.0)
        guarded(i, "0** WARNING ** LOGARITHM OF A NUMBER <= 0.0 --- RESULT SET TO ZERO");
      else
        v = std::log(right);
      break;
    case PAR_EXP:
      v = std::exp(right);
      break;
    case PAR_SIN:
      v = std::sin(right);
      break;
    case PAR_COS:
      v = std::cos(right);
      break;
    default:
      break;
    }
    // Operands are finite (constants are, and every result before this one was checked), so a
    // result that is not finite is an overflow; Infinity or NaN must not reach the engine.
    if (!std::isfinite(v))
      guarded(i, pardat.kind(i) == PAR_EXP
                     ? "0** WARNING ** EXPONENTIAL OVERFLOW --- RESULT SET TO ZERO"
                     : "0** WARNING ** ARITHMETIC OVERFLOW --- RESULT SET TO ZERO");
  }
}

void parprt(int node) {
  std::string kind = kind_name(pardat.kind(node));
  kind.resize(8, ' ');
  log_record(std::string(15, ' ') + node_name(node) + " = " + kind + " ( " +
             node_name(pardat.left(node)) + " , " + node_name(pardat.right(node)) + " )");
}

} // namespace vorax
