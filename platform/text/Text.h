// Text services: wide formatting with the conventions the module's format strings use
// (%s is a wide string, %c a wide character, %I64u a 64-bit number), case mapping and
// code-page conversion.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// Formats into buffer (capacity wide characters, terminator included; the text is cut to fit
// and always terminated when capacity > 0). Returns the number of characters the whole text
// needs without the terminator, or -1 for a null format. A null buffer with capacity 0 only
// counts. Conversions: %s %S %c %C %d %i %u %x %X %o %p %%, flags - 0 + blank #, width and
// precision (also *), length prefixes h l ll I64 I32 z w.
int FormatWideV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);
int FormatWide(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);

// Upper-cases every letter of text in place (all alphabets, not only a to z).
void UpperCaseWide(wchar_t* text);

// White space and letters as the C runtime's default "C" locale classes them (iswspace,
// iswalpha), whatever locale the process has set since: the host sets its own character type
// for its line editor, and the module's argument splitting must not change with it. POSIX
// defines that locale's classes as ASCII's; the Windows runtime's take every alphabet.
bool IsSpaceCharacter(wchar_t c);
bool IsLetterCharacter(wchar_t c);

// Wide text to the narrow code page of address texts (UTF-8 on POSIX, the OEM code page on
// Windows); returns the bytes written without the terminator. The output is always terminated
// when capacity > 0. Neither conversion allocates.
size_t WideToNarrow(const wchar_t* text, char* out, size_t capacity);
// The narrow system code page (UTF-8 on POSIX, the ANSI code page with precomposed characters
// on Windows) to wide; returns characters written without the terminator. Bytes that are not
// valid UTF-8 become U+FFFD.
size_t NarrowToWide(const char* text, wchar_t* out, size_t capacity);

// Wide formatting into a buffer of 1024 characters (SystemTextSize) with the system's own short
// formatter (wsprintfW on Windows), for the few texts that the system formats. Returns the
// characters written.
constexpr size_t SystemTextSize = 1024;
int FormatSystemText(wchar_t* buffer, const wchar_t* format, ...);

// One code point, or one wide character (a UTF-32 one, or a UTF-16 unit), as UTF-8 into out
// (room for 4 bytes); a value that is no Unicode scalar (a lone surrogate among them) becomes
// U+FFFD. Returns the bytes written.
size_t CodePointToUtf8(char32_t code, char* out);
size_t WideCharToUtf8(wchar_t c, char* out);
// The next code point of wide text, removed from its front: a surrogate pair is one where
// wchar_t is UTF-16; a lone surrogate is returned as it is. 0 for empty text.
char32_t NextCodePoint(std::wstring_view& text);
// The code point of the valid UTF-8 sequence at the start of bytes; returns its length, or 0
// when the bytes begin no valid sequence (cut short, overlong, a surrogate, beyond U+10FFFF).
size_t DecodeUtf8Sequence(const unsigned char* bytes, size_t size, char32_t* cp);
// The same for bytes that arrive one at a time (typed keys): Utf8Incomplete when they are the
// valid start of a sequence that needs more bytes.
inline constexpr size_t Utf8Incomplete = static_cast<size_t>(-1);
size_t DecodeUtf8Prefix(const unsigned char* bytes, size_t size, char32_t* cp);
// The first character of non-empty UTF-8 text into *out; an invalid sequence gives U+FFFD for
// its first byte. Returns the bytes used (0 only for empty text).
size_t Utf8CharToWide(std::string_view text, wchar_t* out);
// The same into one or two wide units (a surrogate pair where wchar_t is UTF-16 and the
// character lies beyond the BMP); *count receives the units stored.
size_t Utf8CharToUnits(std::string_view text, wchar_t (&units)[2], size_t* count);

// Whole-string helpers for code that owns std::strings (the host, the resolver backend);
// surrogate pairs of UTF-16 text are one character, a lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
