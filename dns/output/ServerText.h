// The display escaping of text that comes from a DNS server: names and TXT strings in the
// record table and the host names of RDNS. The platform's DNS client hands such text over
// with bytes that are not text already written as \DDD and a literal backslash as "\\"; what
// is left to do here is to keep every control character off the terminal.
#pragma once
#include <cstddef>
#include <memory>
#include <span>

// Writes text into out with every control character as \DDD, its code in three decimal
// digits: C0 (0 to 31, the markup characters 17 to 22 among them) and DEL (127) as their
// code, and a C1 control (U+0080 to U+009F) as each of its UTF-8 bytes (U+009B becomes
// \194\155), the form it had on the wire. Everything else, a backslash included, is copied
// as it is. The text is cut before a character or escape that does not fit; out is always
// terminated when it is not empty. Returns the characters written without the terminator.
size_t EscapeServerText(const wchar_t* text, std::span<wchar_t> out);

// The room EscapeServerText needs for all of text, terminator included.
size_t EscapedServerTextSize(const wchar_t* text);

// One server text in its escaped form, in a buffer of its own. A null text shows as empty;
// when no memory can be had, ok() is false and text() is empty.
class ShownServerText {
  public:
    explicit ShownServerText(const wchar_t* text);
    bool ok() const { return ok_; }
    wchar_t* text() { return buffer_ != nullptr ? buffer_.get() : empty_; }

  private:
    std::unique_ptr<wchar_t[]> buffer_;
    wchar_t empty_[1] = {L'\0'};
    bool ok_ = true;
};
