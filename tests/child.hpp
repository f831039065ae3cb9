#pragma once

// Runs the built program as a user would: in a folder of its own, with standard input a pipe
// the test writes to (or at its end), and its output read back as it comes.

#include <sys/types.h>

#include <string>
#include <vector>

struct Launch {
    std::vector<std::string> command;  // what runs the program (an emulator), it, its arguments
    std::string folder;
    std::vector<std::string> env;  // NAME=value, added to the test's own environment
    bool stdin_at_end = false;     // /dev/null instead of a pipe
    std::string stdout_file;       // a file instead of a pipe, when not empty
};

struct Child {
    pid_t pid = -1;
    int input = -1;       // write end of standard input
    int input_peek = -1;  // a read end kept here: what the program did not read stays in it
    int output = -1;
    int errors = -1;
    std::string out;  // standard output read so far
    std::string err;
};

Child start(const Launch& launch);

// Reads standard output until it holds at least `bytes` bytes, it ends, or `ms` pass.
void read_output(Child& child, std::size_t bytes, int ms);

void send(Child& child, const std::string& text);
void close_input(Child& child);

// Waits for the program to end and reads the rest of its output. The exit status, or -1 when
// it did not end within `ms` (it is then killed).
int finish(Child& child, int ms);

// What is still unread in the program's standard input.
std::string unread_input(Child& child);

// A new empty folder, and a file written in it.
std::string scratch_folder();
void write_file(const std::string& path, const std::string& text);
