// The character plots of tracked particles, which the program installs into the tracking loop.
#pragma once

namespace vorax {

// Draws the live particles into the frames of the plot type of the last TRAC. continuation 1
// adds them to the picture of the previous call, 0 starts a new one (as does the first frame of a
// TRAC unless its type keeps the previous picture); the picture is printed when the plot settings
// mark the frame as the last one.
void plotpr(int continuation);

} // namespace vorax
