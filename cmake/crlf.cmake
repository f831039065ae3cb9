# Writes the text file FROM to TO with its lines ended in "\r\n", as Notepad wants them.
# Usage: cmake -DFROM=<file> -DTO=<file> -P crlf.cmake
file(READ ${FROM} text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TO} "${text}")
