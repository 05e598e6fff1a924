// Query lines for the INI differential check, shared by the dump program
// (built for Windows and for the host) and the native unit test.
//
// One query per line; blank lines and lines starting with '#' are skipped.
//   I|file|section|key|default            -> ReadProfileInt
//   S|file|section|key|default|size       -> ReadProfileString
// Fields are taken verbatim (spaces matter). Escapes: \\ \| \xHH,
// any other backslash stays as it is (so .\Orvex.INI needs no doubling);
// a field that is exactly \N stands for a null pointer.
// The answer line is the query line, " => ", and the result: the integer, or
// the returned count and the bytes the call wrote into a buffer prefilled
// with 0xA5 (up to the last changed byte), escaped the same way.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace profq {

struct Field {
  std::string text;
  bool null = false;
  const char* ptr() const { return null ? nullptr : text.c_str(); }
};

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits on unescaped '|' and undoes the escapes.
inline std::vector<Field> SplitFields(const std::string& line) {
  std::vector<Field> out(1);
  std::string raw;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '|') {
      out.back().null = (raw == "\\N");
      out.emplace_back();
      raw.clear();
      continue;
    }
    raw += c;
    if (c == '\\' && i + 1 < line.size()) {
      char n = line[++i];
      raw += n;
      switch (n) {
        case 'x':
          if (i + 2 < line.size() && HexDigit(line[i + 1]) >= 0 && HexDigit(line[i + 2]) >= 0) {
            out.back().text += static_cast<char>(HexDigit(line[i + 1]) * 16 + HexDigit(line[i + 2]));
            raw += line[i + 1];
            raw += line[i + 2];
            i += 2;
          } else {
            out.back().text += "\\x";
          }
          break;
        case '\\': case '|': out.back().text += n; break;
        default:  // not an escape: keeps Windows paths readable (.\Orvex.INI)
          out.back().text += '\\';
          out.back().text += n;
          break;
      }
      continue;
    }
    out.back().text += c;
  }
  out.back().null = (raw == "\\N");
  return out;
}

inline std::string Escape(const char* p, size_t n) {
  std::string s;
  char tmp[8];
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c == '\\' || c == '|') {
      s += '\\';
      s += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      std::snprintf(tmp, sizeof tmp, "\\x%02x", c);
      s += tmp;
    } else {
      s += static_cast<char>(c);
    }
  }
  return s;
}

inline std::string StripEol(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

inline bool IsQuery(const std::string& line) {
  return !line.empty() && line[0] != '#';
}

// Runs one query through the two reading functions (whatever they are linked
// against) and returns the answer text, without the query echo.
template <typename IntFn, typename StrFn>
std::string Answer(const std::string& line, IntFn readInt, StrFn readStr) {
  std::vector<Field> f = SplitFields(line);
  if (f[0].text == "I" && f.size() == 5) {
    int v = readInt(f[2].ptr(), f[3].ptr(), std::atoi(f[4].text.c_str()), f[1].ptr());
    return std::to_string(v);
  }
  if (f[0].text == "S" && f.size() == 6) {
    int size = std::atoi(f[5].text.c_str());
    const size_t cap = size > 0 ? static_cast<size_t>(size) : 0;
    std::vector<char> buf(cap + 16, static_cast<char>(0xA5));
    int ret = readStr(f[2].ptr(), f[3].ptr(), f[4].ptr(), buf.data(), size, f[1].ptr());
    size_t used = buf.size();
    while (used > 0 && buf[used - 1] == static_cast<char>(0xA5)) --used;
    return std::to_string(ret) + " [" + Escape(buf.data(), used) + "]";
  }
  return "bad query";
}

}  // namespace profq
