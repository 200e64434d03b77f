// The console's colour, one state for the whole process: which attribute is in force and how
// an attribute becomes a terminal sequence. Host and module share it (on POSIX it lives in
// the shared library libcorvaneconsole.so, of which the process holds one copy), so the
// colour either of them reads is the colour the other one set.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr uint16_t ConsoleDefaultAttribute = 0x07;
// Room for the longest sequence, "\x1b[0;97;107m", with a terminator to spare.
inline constexpr size_t ConsoleColorSequenceSize = 24;

// The one mapping from a console attribute (low 4 bits foreground, bit 3 its intensity, next
// 4 bits background) to a terminal sequence. The parts of the default attribute 0x07, light
// grey on black, are the terminal's own default colours, so 0x07 is a plain reset. Returns
// the length written into out.
size_t ConsoleColorSequence(uint16_t attribute, std::span<char, ConsoleColorSequenceSize> out);

// False when the environment asks for no colour: NO_COLOR set (to anything) or TERM=dumb.
bool ConsoleColorsWanted();

// The attribute in force on the console: the last one applied by anyone in the process, the
// default at start.
uint16_t ConsoleColorInForce();

// Makes attribute the one in force and writes its sequence to the console terminal when it
// differs from the one in force and colours are wanted. False when writing failed.
bool ConsoleColorApply(uint16_t attribute);

// Puts the terminal's default colours back if a colour sequence of ours is showing. Safe in a
// signal handler.
void ConsoleColorRestoreDefault();
