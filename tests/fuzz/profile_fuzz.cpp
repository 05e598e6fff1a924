// libFuzzer target for the native private-profile reader: arbitrary file
// contents, names, defaults, buffer sizes and spellings of the file name.
//
// Input layout (short inputs just leave the later parts empty):
//   byte 0      bit 0/1/2: null section/key/default; bits 3-5: file-name spelling
//   bytes 1-2   buffer size, little-endian, taken modulo 400 (0 is allowed)
//   three NUL-terminated strings: section, key, default
//   the rest    the INI file's bytes
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/Profile.h"

namespace {

// Spellings that reach the same file, a missing one, and paths that cannot
// hold a file; all stay inside the scratch directory.
const char* const kPaths[8] = {
    ".\\f.ini", "./F.INI", ".\\f.ini. ", "sub\\..\\f.ini",
    ".\\sub\\f.ini", ".\\nodir\\f.ini", ".\\sub", "f.ini",
};

std::string TakeString(const uint8_t*& p, const uint8_t* end) {
  const uint8_t* z = static_cast<const uint8_t*>(memchr(p, 0, end - p));
  if (!z) z = end;
  std::string s(reinterpret_cast<const char*>(p), z - p);
  p = z < end ? z + 1 : end;
  return s;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

}  // namespace

// Works in a scratch directory under $TMPDIR (run.sh points it into the
// build tree and clears it).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvex-profile-fuzz.XXXXXX";
  if (!mkdtemp(&dir[0]) || chdir(dir.c_str()) != 0) abort();
  mkdir("sub", 0700);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  const uint8_t flags = p < end ? *p++ : 0;
  int bufSize = 0;
  if (end - p >= 2) {
    bufSize = (p[0] | (p[1] << 8)) % 400;
    p += 2;
  }
  const std::string section = TakeString(p, end);
  const std::string key = TakeString(p, end);
  const std::string def = TakeString(p, end);

  FILE* f = fopen("f.ini", "wb");
  if (!f) abort();
  if (end > p) fwrite(p, 1, end - p, f);
  fclose(f);

  const char* sec = (flags & 1) ? nullptr : section.c_str();
  const char* k = (flags & 2) ? nullptr : key.c_str();
  const char* d = (flags & 4) ? nullptr : def.c_str();
  const char* file = kPaths[(flags >> 3) & 7];

  // The answer stays inside [0, size) with its NUL, and nothing after it is
  // touched; the same question gets the same answer.
  const size_t guard = 32;
  std::vector<char> buf(bufSize + guard, '\x5A');
  const int n = ReadProfileString(sec, k, d, buf.data(), bufSize, file);
  if (bufSize == 0) {
    Check(n == 0, "nothing returned for an empty buffer");
    for (char c : buf) Check(c == '\x5A', "no write into an empty buffer");
  } else {
    Check(n >= 0 && n < bufSize, "count within the buffer");
    Check(buf[n] == '\0', "answer terminated");
    for (size_t i = n + 1; i < buf.size(); ++i) Check(buf[i] == '\x5A', "no write past the answer");
    // Only the lists of names have NULs inside the answer.
    if (sec && k) Check(strlen(buf.data()) == static_cast<size_t>(n), "a value has no inner NUL");
    std::vector<char> again(bufSize, '\0');
    Check(ReadProfileString(sec, k, d, again.data(), bufSize, file) == n &&
              memcmp(again.data(), buf.data(), n + 1) == 0,
          "same question, same answer");
  }
  (void)ReadProfileInt(sec, k, static_cast<int>(bufSize) - 200, file);
  return 0;
}
