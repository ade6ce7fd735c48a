#include "cli/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "cli/symbolic_links.h"
#include "link/convert.h"
#include "link/link.h"
#include "link/link_steps.h"

#ifndef QUELK_VERSION
#error "QUELK_VERSION comes from the build"
#endif

namespace {

constexpr char usage_text[] =
    "quelk [OPTION] TARGET LINKNAME: like ln(1) for native Windows links\n"
    "\n"
    "  -s --symbolic: make symbolic links\n"
    "  -v --verbose: print name of each linked file\n"
    "  -f --force: replace existing links\n"
    "  -d --directory: always treat TARGET as a directory\n"
    "  -F --file: always treat TARGET as a file\n"
    "  -T --no-target-directory: treat LINKNAME as a normal file always\n"
    "  -t --target-directory=DIR: link each TARGET into DIR\n"
    "  -A --auto: guess type of TARGET [default]\n"
    "     If TARGET does not exist, treat as file.\n"
    "\n"
    "quelk --help\n"
    "\n"
    "  Display this help message.\n"
    "\n"
    "quelk -V\n"
    "quelk --version\n"
    "\n"
    "  Display version information.\n";

constexpr char version_text[] =
    "quelk " QUELK_VERSION "\n"
    "Copyright (C) the quelk authors.\n"
    "MIT License: free to use, change and share; there is NO WARRANTY.\n";

constexpr char short_options[] = "VvdfFsATt:";

const option long_options[] = {
    {"verbose", no_argument, nullptr, 'v'},
    {"directory", no_argument, nullptr, 'd'},
    {"file", no_argument, nullptr, 'F'},
    {"symbolic", no_argument, nullptr, 's'},
    {"force", no_argument, nullptr, 'f'},
    {"auto", no_argument, nullptr, 'A'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"no-target-directory", no_argument, nullptr, 'T'},
    {"target-directory", required_argument, nullptr, 't'},
    {nullptr, 0, nullptr, 0},
};

void write_text(const char* text, std::size_t size) {
    note_output(std::fwrite(text, 1, size, stdout) == size ? 0 : -1);
}

bool is_drive(const char* path) {
    std::size_t drive = platform::drive_length(path);
    return drive > 0 && path[drive] == '\0';
}

// The final name of an operand, read the way this platform reads
// separators, without trailing ones: "dir/" is named "dir", while the
// operand itself stays as typed, so that a TARGET is read alike in every
// form. No C-runtime call reads the bytes, so a name is never re-read in
// another encoding.
std::string_view final_name(const char* operand) {
    auto parts = split_path(operand);
    std::size_t length = static_cast<std::size_t>(parts.name.data() - operand) + parts.name.size();
    // A root ("/") or a bare drive is its own name.
    return parts.name.empty() ? std::string_view(operand, length) : parts.name;
}

// Links every TARGET into DIRECTORY under its final name; the first
// non-zero status is the result.
int link_into(const char* directory, char** targets, int count) {
    // An empty name has no Win32 form: joined to a name, an empty directory
    // would be the root, and an empty TARGET the directory itself.
    if (*directory == '\0') return report_unconvertible(directory);
    int result = STATUS_OK;
    // DIRECTORY and its separator once, each name after it: a bare drive
    // names that drive's current directory, so "D:" and "x" are "D:x",
    // never "D:/x" at the root.
    std::string linkname;
    std::size_t prefix = 0;
    try {
        linkname.assign(directory);
        // One separator between them: "d/" and "x" are "d/x", "/" and "x"
        // are "/x" (never "//x", a network path).
        if (!is_drive(directory) && !platform::is_path_separator(linkname.back())) linkname.push_back('/');
        prefix = linkname.size();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quelk: asprintf: %s\n", std::strerror(ENOMEM));
        return STATUS_USAGE;
    }
    for (int i = 0; i < count; ++i) {
        char* target = targets[i];
        int status;
        if (*target == '\0') {
            status = report_unconvertible(target);
        } else {
            try {
                linkname.resize(prefix);
                linkname.append(final_name(target));
            } catch (const std::bad_alloc&) {
                std::fprintf(stderr, "quelk: asprintf: %s\n", std::strerror(ENOMEM));
                return STATUS_USAGE;
            }
            status = make_link(target, linkname.c_str());
        }
        if (status != STATUS_OK && result == STATUS_OK) result = status;
    }
    return result;
}

int run(int argc, char** argv) {
    platform::adopt_user_locale();

    std::optional<std::string> target_directory;
    int option;
    while ((option = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (option) {
            case 'v': settings.verbose = true; break;
            case 'd': settings.link_type = LINK_TYPE_DIRECTORY; break;
            case 'F': settings.link_type = LINK_TYPE_FILE; break;
            case 's': settings.symbolic = true; break;
            case 'f': settings.force = true; break;
            case 'A': settings.link_type = LINK_TYPE_AUTO; break;
            case 'T': settings.no_target_directory = true; break;
            case 't': target_directory = optarg; break;
            case 'h': write_text(usage_text, sizeof usage_text - 1); return STATUS_OK;
            case 'V': write_text(version_text, sizeof version_text - 1); return STATUS_OK;
            default:
                // getopt_long has already said what was wrong.
                std::fputs("quelk: use --help for usage\n", stderr);
                return STATUS_BAD_OPTION;
        }
    }

    // Before any operand is looked at, so that nothing is touched when
    // symbolic links cannot be made.
    if (settings.symbolic) {
        if (int status = prepare_symbolic_links(); status != STATUS_OK) return status;
    }

    int count = argc - optind;
    char** operands = argv + optind;
    if (count == 0) {
        std::fputs("quelk: no arguments. Use --help for usage\n", stderr);
        return STATUS_USAGE;
    }

    // -T is tested first, so it wins over -t.
    if (settings.no_target_directory) {
        if (count == 2) return make_link(operands[0], operands[1]);
        std::fputs("quelk: must have exactly two args with -T\n", stderr);
        return STATUS_USAGE;
    }

    if (target_directory) {
        // A file there is no directory to link into: said once, for the run.
        platform::file_status named;
        if (!target_directory->empty() && platform::file_identity(target_directory->c_str(), true, &named) == 0 &&
            !named.is_directory) {
            std::fprintf(stderr, "quelk: `%s': not a directory\n", target_directory->c_str());
            return STATUS_USAGE;
        }
        return link_into(target_directory->c_str(), operands, count);
    }
    if (count == 1) return link_into(".", operands, count);

    const char* last = operands[count - 1];
    if (*last == '\0') return report_unconvertible(last);
    if (platform::file_is_directory(last)) {
        operands[count - 1] = nullptr;
        return link_into(last, operands, count - 1);
    }
    if (count == 2) return make_link(operands[0], operands[1]);
    std::fprintf(stderr, "quelk: `%s': not a directory\n", last);
    return STATUS_USAGE;
}

}  // namespace

int run_command_line(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quelk: %s\n", std::strerror(ENOMEM));
        return STATUS_USAGE;
    }
}

int finish_output(int status) {
    // A report or help text that never reached its reader is a failure,
    // even when every link was made. A closed pipe has already ended the
    // process by its signal. Where nothing was to be written, nothing
    // failed, whatever standard output is (closed, say).
    if (!output_written) {
        std::fclose(stdout);
        return status;
    }
    // The first failure's own reason; else the flush's or the close's; EIO
    // only where the stream knows of a failure but not why.
    int error = output_error;
    if (std::fflush(stdout) != 0 && error == 0) error = errno;
    if (std::ferror(stdout) && error == 0) error = EIO;
    if (std::fclose(stdout) != 0 && error == 0) error = errno;
    if (error == 0) return status;
    std::fprintf(stderr, "quelk: write error: %s\n", std::strerror(error));
    return status != STATUS_OK ? status : STATUS_USAGE;
}
