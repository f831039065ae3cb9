#pragma once

// Writes nothing, changes no console mode: takes one character from the buffered standard
// input stream and discards it. Returns at once when standard input is at its end.
// Standard output is flushed first, so whatever the program printed is on the screen (or in
// the pipe) before it blocks.
void pause_for_key();

// The exit status of a run that got this far without a fatal error: 0 when everything written
// to standard output reached it, otherwise 1 after saying so on standard error.
int finish_output();

// Ends the process with status 1 after a fatal message, saying so on standard error too when
// standard output could not take it.
[[noreturn]] void end_after_failure();
