// The matrix operation (MATR, MACH, BEAM, HARD), the periodic analysis and ZQVO.
#pragma once

namespace vorax {

void matpre(int code, int &end_flag);
void matrix();
void anal();
void pranal(int print_option);
void zqvout(int &end_flag);

} // namespace vorax
