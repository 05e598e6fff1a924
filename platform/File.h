// Reading the files the user names (the firmware image).
#pragma once

#include <cstddef>
#include <cstdio>

// Reads up to `size` bytes from the start of `file` into `buf`; returns how
// many were read, fewer when the file is shorter by now or cannot be read.
std::size_t SysReadFileStart(std::FILE* file, void* buf, std::size_t size);

// What a path names, as far as opening a file to read cares.
enum FileKind : int {
  FILE_KIND_NONE = 0,  // nothing that could be opened
  FILE_KIND_REGULAR,
  FILE_KIND_DIRECTORY,
  FILE_KIND_FIFO,      // a named pipe
  FILE_KIND_DEVICE,    // a character or block device
  FILE_KIND_SOCKET,
  FILE_KIND_OTHER
};

// Opens `path` to read in binary mode, only if it is a regular file;
// otherwise null, with *kind saying what it is. The open never waits: a
// named pipe with no writer would hold it for ever.
std::FILE* SysOpenRegularFile(const char* path, FileKind* kind);
