// --force over an existing LINKNAME: the new link is made under a
// temporary name beside it and renamed over it, so that LINKNAME is never
// lost when the new link cannot be made.
#pragma once

#include "link/link_steps.h"

// Replaces EXISTING, what lstat found at LINKNAME, with the link TRIED
// describes; reports any failure and returns its status.
int replace_existing(const char* target, const link_name& linkname, platform::file_status existing, attempt& tried);
