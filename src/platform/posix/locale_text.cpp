// Text on a POSIX host (Linux, Cygwin): the adopted locale's multibyte text,
// and names as Cygwin's file calls read them.
#include "platform/cygwin/cygwin_names.h"
#include "platform/platform.h"
#include "text/utf16.h"

namespace platform {

bool text_to_wide(const char* text, std::u16string& out) { return name_to_utf16(text, out); }

std::optional<std::string> text_to_multibyte(const char16_t* text) { return text::locale_from_utf16(text); }

}  // namespace platform
