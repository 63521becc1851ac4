// Placeholders: beam lines, USE, EXPLODE and the conversion into the engine tables.
#include "input/beam_lines.h"
#include "input/conversion.h"
namespace vorax {
void line(const Name8 &, int) {}
void use() {}
void xplode() {}
void vxmatd() {}
} // namespace vorax
