// Reading the files the user names (the firmware image).
#pragma once

#include <cstddef>
#include <cstdio>

// Reads up to `size` bytes from the start of `file` into `buf`; returns how
// many were read, fewer when the file is shorter by now or cannot be read.
std::size_t SysReadFileStart(std::FILE* file, void* buf, std::size_t size);
