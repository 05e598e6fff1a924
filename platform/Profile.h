// Private-profile (INI) reading with the platform's semantics:
// GetPrivateProfileIntA / GetPrivateProfileStringA on Windows.
#pragma once

// Integer value of `key` in `section` of `file`; `def` when the file,
// section or key is missing.
int ReadProfileInt(const char* section, const char* key, int def, const char* file);
// Text value into buf (at most size-1 characters, NUL-terminated); `def`
// when missing. Returns the number of characters copied.
int ReadProfileString(const char* section, const char* key, const char* def,
                      char* buf, int size, const char* file);
