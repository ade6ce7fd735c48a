// Text on a POSIX host (Linux, Cygwin): the adopted locale's multibyte text.
#include "platform/platform.h"
#include "text/utf16.h"

namespace platform {

std::optional<std::u16string> text_to_wide(const char* text) { return text::locale_to_utf16(text); }

std::optional<std::string> text_to_multibyte(const char16_t* text) { return text::locale_from_utf16(text); }

}  // namespace platform
