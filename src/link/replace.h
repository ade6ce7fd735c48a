// --force over an existing LINKNAME: the new link is made under a
// temporary name beside it and renamed over it, so that LINKNAME is never
// lost when the new link cannot be made.
#pragma once

#include "link/link_steps.h"

// Replaces EXISTING, what lstat found at LINKNAME, with the link TRIED
// describes; reports any failure and returns its status.
int replace_existing(const char* target, const char* linkname, const platform::file_status& existing,
                     attempt& tried);

// Reports that LINKNAME cannot be replaced: Windows' reason where it gave
// one, else the system's text for ERROR; returns the status.
int report_cannot_remove(const char* linkname, int error, platform::DWORD win32_error = 0);
