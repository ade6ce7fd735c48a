// What only the stand-in has: the host path behind a Windows path it gave.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The host path that a Windows path from the stand-in's converter (or a
// relative Windows path) stands for; none when a character has no form in
// the locale.
std::optional<std::string> host_path(const char16_t* path);
// The same into OUT, whose storage is reused; false where the other gives
// none.
bool host_path(const char16_t* path, std::string& out);

}  // namespace platform
