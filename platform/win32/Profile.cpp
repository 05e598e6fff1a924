// Private-profile reads straight through the system, so the product sees
// exactly what Windows (or Wine) makes of the file.
#include "platform/Profile.h"

#include <windows.h>

int ReadProfileInt(const char* section, const char* key, int def, const char* file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, def, file));
}

int ReadProfileString(const char* section, const char* key, const char* def,
                      char* buf, int size, const char* file) {
  if (!buf || size <= 0) return 0;
  return static_cast<int>(GetPrivateProfileStringA(section, key, def, buf,
                                                   static_cast<DWORD>(size), file));
}
