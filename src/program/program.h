// Program start: the front end from the first line of the deck to the end of the run.
#pragma once

namespace vorax {

// Runs the whole program on the units already bound (deck on 15, listing on 16, log on 9,
// standard input on 5) and returns the exit status: 0 for a normal end with no error counted,
// 1 when errors were counted or the run ended through the error stop. A non-zero end also
// writes one line naming the stop on the terminal.
int run_program();

// Wires every seam through which a lower folder calls up into this program (run_program does
// it first): VORAX enters the engine, TITLE sets up the engine's output, and tracking reaches
// the imperfections.
void install_program_hooks();

// The misalignments and field errors of the machine, as tracking applies them at each pass and
// position, and the plots of the tracked particles; slots already filled (a test's own hooks)
// are kept.
void install_tracking_hooks();

} // namespace vorax
