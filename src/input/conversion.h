// Conversion of the used beam line into the engine tables.
#pragma once

namespace vorax {

void vxmatd();

} // namespace vorax
