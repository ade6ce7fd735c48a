// Names in one directory, reached from a handle on it: a run that links
// many names into one directory has the kernel look the directory up once,
// not once per call, as ln does with its target directory.
#pragma once

namespace platform {

// Where a call on PATH starts and the name it is given from there: the
// directory's handle and the final name when PATH has a directory part
// that can be opened, else AT_FDCWD and PATH itself. The handle is kept
// for the next path in the same directory.
struct at_path {
    int directory;
    const char* name;
};
at_path directory_of(const char* path);

// PATH for a call that also takes OTHER, reached from AT (OTHER's start):
// from the same handle where PATH lies in OTHER's directory, else from the
// current directory as typed.
at_path alongside(const char* path, const char* other, at_path at);

}  // namespace platform
