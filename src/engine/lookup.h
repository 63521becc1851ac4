// Lookup of elements, parameters and positions by name; SETL and PRIN.
#pragma once

#include "common/table.h"

namespace vorax {

int element_named(const Name8 &name);           // the first element of the name, 0: none
int first_position(int element);                // the element's first position, 0: none
int elid(const Name8 &name);                    // element number; stops with 245
int elpos(const Name8 &name);                   // first position of the element; stops with 246
int poschk(int element);                        // first position of the element; stops with 246
int vxpar(int element, const Name8 &parameter); // slot number; stops with 240 or 241
int iequal(const Name8 &pattern, const Name8 &name);
void limits(int code, int &end_flag); // SETL
void prtdef(int code, int &end_flag); // PRIN
void prttst(int position, int &cursor, int &result);

} // namespace vorax
