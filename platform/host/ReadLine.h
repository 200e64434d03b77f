// One line from a source read a byte at a time, so that nothing past the line is consumed: a
// plug-in reading standard input (a key prompt) sees the rest.
#pragma once
#include <string>

// readByte(char&) gives the next byte, or false at the end of the input or on an error. The
// line is given without its "\n" and a "\r" before that; a last line without "\n" as it came.
// False when not even one byte came.
template <class ReadByte> bool ReadLineBytes(std::string& line, ReadByte readByte) {
    line.clear();
    bool any = false;
    for (;;) {
        char c = 0;
        if (!readByte(c)) return any;
        any = true;
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}
