// Parameters and expressions: the PARAMETER command and the expression compiler, which turns
// each expression into nodes of the parameter table that refer to other nodes by index.
#include "common/format.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <cstdio>
#include <string>

namespace vorax {

namespace {

// Operator-stack entries besides the node kinds 1..4 (infix) and 12..17 (NEG and functions).
constexpr int OP_BOTTOM = -10;
constexpr int OP_PAREN = -11;

constexpr std::string_view DIGITS_AND_POINT = "0123456789.";
constexpr std::string_view WORD_START = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\"";

bool is_unary(int op) {
  return op >= PAR_NEGATE && op <= PAR_COS;
}

Name8 generated_name(char letter, int index) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "*%c%05d*", letter, index % 100000);
  return Name8(buf);
}

// An upper node; the table is full when the two regions would meet.
int new_upper_node(int line, int kind, int left, int right, double value, char letter) {
  const int index = pardat.high_mark - 1;
  if (index <= pardat.low_count)
    ovflow(2, machine_limits().maxpar);
  pardat.high_mark = index;
  pardat.kind(index) = kind;
  pardat.left(index) = left;
  pardat.right(index) = right;
  pardat.def_line(index) = line;
  parval.value(index) = value;
  parnam.name(index) = generated_name(letter, index);
  return index;
}

void stack_full() {
  rdfail("*** ERROR *** EXPRESSION TOO COMPLEX --- MORE THAN " + std::to_string(STACK_DEPTH) +
         " PENDING OPERATORS OR OPERANDS");
}

bool push_op(int op) {
  if (stack.depth >= STACK_DEPTH) {
    stack_full();
    return false;
  }
  stack.op(++stack.depth) = op;
  return true;
}

bool push_operand(int node) {
  if (stack.operand_depth >= STACK_DEPTH) {
    stack_full();
    return false;
  }
  stack.operand(++stack.operand_depth) = node;
  return true;
}

int top_op() {
  return stack.depth > 0 ? stack.op(stack.depth) : OP_BOTTOM;
}

int function_kind(const Name8 &name) {
  static const Name8 names[6] = {Name8("NEG"), Name8("SQRT"), Name8("LOG"),
                                 Name8("EXP"), Name8("SIN"),  Name8("COS")};
  const int found = rdlook(name, names, 1, 6);
  return found == 0 ? 0 : PAR_NEGATE + found - 1;
}

// NAME[KEY] at the cursor (on "["): the attribute node of a defined element, 0 on error.
int attribute_reference(const Name8 &element, int &error) {
  error = 0;
  const int index = fndelm(iodata.command_line, element);
  if (elmdat.kind(index) < 1) {
    rdfail("*** ERROR *** UNKNOWN BEAM ELEMENT " + quoted(element.trimmed()));
    error = 1;
    return 0;
  }
  rdnext();
  Name8 key;
  int length = 0;
  rdword(key, length);
  if (length == 0) {
    rdfail("*** ERROR *** PARAMETER KEYWORD EXPECTED");
    error = 1;
    return 0;
  }
  rdtest("]", error);
  if (error != 0)
    return 0;
  const int node = rdlook(key, parnam.name.data(), elmdat.first(index), elmdat.last(index));
  if (node == 0) {
    std::string ref(element.trimmed());
    ref += '[';
    ref += key.trimmed();
    ref += ']';
    rdfail("*** ERROR *** UNKNOWN ELEMENT PARAMETER " + quoted(ref));
    error = 1;
    return 0;
  }
  rdnext();
  return node;
}

} // namespace

int fndpar(int line, const Name8 &name) {
  if (const int found = parnam.index.find(name, parnam.name, pardat.low_count); found != 0)
    return found;
  const int index = pardat.low_count + 1;
  if (index >= pardat.high_mark)
    ovflow(2, machine_limits().maxpar);
  pardat.low_count = index;
  pardat.kind(index) = PAR_UNDEFINED;
  pardat.left(index) = 0;
  pardat.right(index) = 0;
  pardat.def_line(index) = line;
  parval.value(index) = 0.0;
  parnam.name(index) = name;
  return index;
}

int parcon(int line, double value) {
  return new_upper_node(line, PAR_CONSTANT, 0, 0, value, 'C');
}

void opdef(int line) {
  if (stack.depth < 1)
    return;
  const int op = stack.op(stack.depth);
  const int needed = is_unary(op) ? 1 : 2;
  if (op < PAR_ADD || stack.operand_depth < needed)
    return;
  --stack.depth;
  const int right = stack.operand(stack.operand_depth--);
  const int left = needed == 2 ? stack.operand(stack.operand_depth--) : 0;
  const int node = new_upper_node(line, op, left, right, 0.0, 'T');
  stack.operand(++stack.operand_depth) = node;
}

void decexp(int target, int &error) {
  error = 0;
  const int line = iodata.command_line;
  stack.depth = 0;
  stack.operand_depth = 0;
  push_op(OP_BOTTOM);
  bool leading = true; // a sign may stand here: start of the expression or after "("
  bool want_operand = true;
  bool failed = false;
  while (!failed) {
    if (want_operand) {
      bool negate_number = false;
      if (leading && (current_char() == '+' || current_char() == '-')) {
        const bool minus = current_char() == '-';
        rdnext();
        if (minus) {
          if (DIGITS_AND_POINT.find(current_char()) != std::string_view::npos)
            negate_number = true;
          else if (!push_op(PAR_NEGATE)) {
            failed = true;
            break;
          }
        }
      }
      leading = false;
      const char c = current_char();
      if (c == '(') {
        if (!push_op(OP_PAREN)) {
          failed = true;
          break;
        }
        rdnext();
        leading = true;
        continue;
      }
      if (DIGITS_AND_POINT.find(c) != std::string_view::npos) {
        double value = 0.0;
        int status = 0;
        rdnumb(value, status);
        if (status != 0 || !push_operand(parcon(line, negate_number ? -value : value))) {
          failed = true;
          break;
        }
        want_operand = false;
        continue;
      }
      if (WORD_START.find(c) != std::string_view::npos) {
        Name8 name;
        int length = 0;
        rdword(name, length);
        if (current_char() == '(') {
          const int kind = function_kind(name);
          if (kind == 0) {
            rdfail("*** ERROR *** UNKNOWN FUNCTION " + quoted(name.trimmed()));
            failed = true;
            break;
          }
          if (!push_op(kind) || !push_op(OP_PAREN)) {
            failed = true;
            break;
          }
          rdnext();
          leading = true;
          continue;
        }
        int node = 0;
        if (current_char() == '[') {
          int status = 0;
          node = attribute_reference(name, status);
          if (status != 0) {
            failed = true;
            break;
          }
        } else {
          node = fndpar(line, name);
          note_parameter_use(node, line);
        }
        if (!push_operand(node)) {
          failed = true;
          break;
        }
        want_operand = false;
        continue;
      }
      rdfail("*** ERROR *** OPERAND MUST BE NUMBER, PARAMETER NAME, FUNCTION CALL, OR EXPRESSION "
             "IN \"()\"");
      failed = true;
      break;
    }

    // After an operand: reduce what binds tighter than the next operator.
    while (is_unary(top_op()) || top_op() == PAR_MULTIPLY || top_op() == PAR_DIVIDE)
      opdef(line);
    const char c = current_char();
    if (c == '*' || c == '/') {
      if (!push_op(c == '*' ? PAR_MULTIPLY : PAR_DIVIDE)) {
        failed = true;
        break;
      }
      rdnext();
      want_operand = true;
      continue;
    }
    if (top_op() == PAR_ADD || top_op() == PAR_SUBTRACT)
      opdef(line);
    if (c == '+' || c == '-') {
      if (!push_op(c == '+' ? PAR_ADD : PAR_SUBTRACT)) {
        failed = true;
        break;
      }
      rdnext();
      want_operand = true;
      continue;
    }
    if (c == ')') {
      if (top_op() != OP_PAREN) {
        rdfail("*** ERROR *** UNBALANCED RIGHT PARENTHESIS");
        failed = true;
        break;
      }
      --stack.depth;
      rdnext();
      continue;
    }
    if (top_op() == OP_PAREN) {
      rdfail("*** ERROR *** RIGHT PARENTHESIS MISSING");
      failed = true;
      break;
    }
    break;
  }

  pardat.def_line(target) = iodata.command_line;
  if (failed || stack.operand_depth != 1) {
    pardat.kind(target) = PAR_UNDEFINED;
    pardat.left(target) = 0;
    pardat.right(target) = 0;
    parval.value(target) = 0.0;
    error = 1;
    return;
  }
  const int result = stack.operand(1);
  if (result == pardat.high_mark && parnam.name(result)[0] == '*') {
    // The last node built is the expression itself: it becomes the target's definition.
    pardat.kind(target) = pardat.kind(result);
    pardat.left(target) = pardat.left(result);
    pardat.right(target) = pardat.right(result);
    parval.value(target) = parval.value(result);
    ++pardat.high_mark;
  } else {
    pardat.kind(target) = PAR_EQUALS;
    pardat.left(target) = 0;
    pardat.right(target) = result;
  }
}

void param(const Name8 &label, int label_length, int form_flag) {
  Name8 name = label;
  int length = label_length;
  int error = 0;
  if (form_flag == 1) {
    if (!read_named_operand(name, length, "*** ERROR *** PARAMETER NAME EXPECTED"))
      return;
  } else if (length == 0) {
    rdfail("*** ERROR *** PARAMETER NAME EXPECTED");
    ioflag.command_error = 1;
    return;
  }
  int target = 0;
  if (current_char() == '[') {
    target = attribute_reference(name, error);
    if (error != 0) {
      ioflag.command_error = 1;
      return;
    }
  } else {
    target = fndpar(iodata.command_line, name);
  }
  if (pardat.kind(target) >= 0)
    warn_redefinition(pardat.def_line(target));
  rdtest("=", error);
  if (error == 0) {
    rdnext();
    decexp(target, error);
  }
  if (error == 0)
    rdtest(";", error);
  if (error != 0) {
    pardat.kind(target) = PAR_UNDEFINED;
    parval.value(target) = 0.0;
    ioflag.command_error = 1;
  }
}

} // namespace vorax
