// The engine's operation loop and its start-up.
#pragma once

namespace vorax {

int vxmain();  // returns 0 when an operation's data end the stream
void setup();  // binds the engine's input, output and echo units
void cinitg(); // engine defaults in every subsystem
void leng();   // element lengths, cumulative path lengths, machine length

} // namespace vorax
