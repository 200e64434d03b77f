// The process's character type (LC_CTYPE) set for one scope, as corvane sets it for its line
// editor, and the one before it put back. Shared by the unit and the platform tests.
#pragma once
#include <clocale>
#include <string>

// The runtime's default, and the one corvane sets when the user's is no UTF-8 one.
inline constexpr const char* TestCharacterTypes[] = {"C", "C.UTF-8"};

class ScopedCharacterType {
  public:
    explicit ScopedCharacterType(const char* name)
        : previous(std::setlocale(LC_CTYPE, nullptr)),
          took(std::setlocale(LC_CTYPE, name) != nullptr) {}
    ~ScopedCharacterType() { std::setlocale(LC_CTYPE, previous.c_str()); }
    ScopedCharacterType(const ScopedCharacterType&) = delete;
    ScopedCharacterType& operator=(const ScopedCharacterType&) = delete;

  private:
    std::string previous;

  public:
    // False where the runtime does not know the locale (C.UTF-8 in the Windows one).
    const bool took;
};
