// Any byte string as a path, in the C or the C.UTF-8 locale: converting it
// never crashes, and on the stand-in a path in its plain form maps back to
// exactly its own bytes.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "link/convert.h"
#include "platform/platform.h"
#include "platform/stand_in/stand_in.h"

namespace {

// No backslash, empty, "." or ".." name, final slash or drive form, nor a
// private-range character typed (U+F000-U+F0FF, in UTF-8 EF 80-83 ..),
// which is the name Cygwin writes with it, not its bytes: the converter
// keeps every byte of such a path, so it must come back whole. Nor two
// encoded surrogates that pair up: read one by one, they are the units of
// one character, which comes back in its own four bytes.
bool encodes_surrogate(const std::string& path, std::size_t at, unsigned char low, unsigned char high) {
    return at + 2 < path.size() && static_cast<unsigned char>(path[at]) == 0xED &&
           static_cast<unsigned char>(path[at + 1]) >= low && static_cast<unsigned char>(path[at + 1]) <= high &&
           (static_cast<unsigned char>(path[at + 2]) & 0xC0) == 0x80;
}

bool plain(const std::string& path) {
    if (path.empty() || path.back() == '/' || path.find('\\') != std::string::npos ||
        path.find("//") != std::string::npos)
        return false;
    for (std::size_t at = path.find('\xef'); at != std::string::npos; at = path.find('\xef', at + 1))
        if (at + 1 < path.size() && static_cast<unsigned char>(path[at + 1]) >= 0x80 &&
            static_cast<unsigned char>(path[at + 1]) <= 0x83)
            return false;
    for (std::size_t at = 0; at + 5 < path.size(); ++at)
        if (encodes_surrogate(path, at, 0xA0, 0xAF) && encodes_surrogate(path, at + 3, 0xB0, 0xBF)) return false;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path.size() == 2 || path[2] == '/'))
        return false;
    if (path.rfind("/cygdrive/", 0) == 0 && path.size() >= 11 && std::isalpha(static_cast<unsigned char>(path[10])) &&
        (path.size() == 11 || path[11] == '/'))
        return false;
    std::size_t start = path[0] == '/' ? 1 : 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        if (name == "." || name == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::setlocale(LC_ALL, data[0] & 1 ? "C.UTF-8" : "C");
    std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
    path = path.c_str();  // a command-line argument ends at its first zero byte

    if (auto converted = to_win32_path(path.c_str())) {
        if (converted->empty()) std::abort();
    }

    std::unique_ptr<char16_t, platform::free_deleter> stand_in(static_cast<char16_t*>(
        platform::cygwin_create_path(platform::CCP_POSIX_TO_WIN_W | platform::CCP_RELATIVE, path.c_str())));
    if (stand_in && plain(path)) {
        auto back = platform::host_path(stand_in.get());
        if (!back || *back != path) std::abort();
    }
    return 0;
}
