// Private-profile (INI) reading for the headless platform.
//
// Answers the way GetPrivateProfileIntA / GetPrivateProfileStringA answer
// under Wine 8 (measured with tests/e2e/profile-diff.sh), quirks included,
// because the product's behaviour on Windows is what the native tests must
// see. Like the system, the reader works on UTF-16 text internally: ANSI
// files are taken as code page 1252, UTF-8 and UTF-16 files are recognised by
// their byte-order mark, and results go back to 1252 with the system's
// best-fit mapping. Section and key names compare without regard to ASCII
// case; the first matching section and, in it, the first matching key win.
#include "platform/Profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using WString = std::u16string;

// ---- code page 1252 ------------------------------------------------------

// 0x80..0x9F; the five unassigned bytes map to the C1 controls of the same
// value, as the system does, so they survive a round trip.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Characters outside 1252 that the system's conversion maps to a near
// equivalent instead of '?' (measured under Wine: WideCharToMultiByte over
// every UTF-16 unit, code page 1252, no flags).
struct BestFit {
  std::uint16_t from;
  std::uint8_t to;
};
const BestFit kBestFit[] = {
    {0x0100, 0x41}, {0x0101, 0x61}, {0x0102, 0x41}, {0x0103, 0x61}, {0x0104, 0x41}, {0x0105, 0x61},
    {0x0106, 0x43}, {0x0107, 0x63}, {0x0108, 0x43}, {0x0109, 0x63}, {0x010A, 0x43}, {0x010B, 0x63},
    {0x010C, 0x43}, {0x010D, 0x63}, {0x010E, 0x44}, {0x010F, 0x64}, {0x0110, 0xD0}, {0x0111, 0x64},
    {0x0112, 0x45}, {0x0113, 0x65}, {0x0114, 0x45}, {0x0115, 0x65}, {0x0116, 0x45}, {0x0117, 0x65},
    {0x0118, 0x45}, {0x0119, 0x65}, {0x011A, 0x45}, {0x011B, 0x65}, {0x011C, 0x47}, {0x011D, 0x67},
    {0x011E, 0x47}, {0x011F, 0x67}, {0x0120, 0x47}, {0x0121, 0x67}, {0x0122, 0x47}, {0x0123, 0x67},
    {0x0124, 0x48}, {0x0125, 0x68}, {0x0126, 0x48}, {0x0127, 0x68}, {0x0128, 0x49}, {0x0129, 0x69},
    {0x012A, 0x49}, {0x012B, 0x69}, {0x012C, 0x49}, {0x012D, 0x69}, {0x012E, 0x49}, {0x012F, 0x69},
    {0x0130, 0x49}, {0x0131, 0x69}, {0x0134, 0x4A}, {0x0135, 0x6A}, {0x0136, 0x4B}, {0x0137, 0x6B},
    {0x0139, 0x4C}, {0x013A, 0x6C}, {0x013B, 0x4C}, {0x013C, 0x6C}, {0x013D, 0x4C}, {0x013E, 0x6C},
    {0x0141, 0x4C}, {0x0142, 0x6C}, {0x0143, 0x4E}, {0x0144, 0x6E}, {0x0145, 0x4E}, {0x0146, 0x6E},
    {0x0147, 0x4E}, {0x0148, 0x6E}, {0x014C, 0x4F}, {0x014D, 0x6F}, {0x014E, 0x4F}, {0x014F, 0x6F},
    {0x0150, 0x4F}, {0x0151, 0x6F}, {0x0154, 0x52}, {0x0155, 0x72}, {0x0156, 0x52}, {0x0157, 0x72},
    {0x0158, 0x52}, {0x0159, 0x72}, {0x015A, 0x53}, {0x015B, 0x73}, {0x015C, 0x53}, {0x015D, 0x73},
    {0x015E, 0x53}, {0x015F, 0x73}, {0x0162, 0x54}, {0x0163, 0x74}, {0x0164, 0x54}, {0x0165, 0x74},
    {0x0166, 0x54}, {0x0167, 0x74}, {0x0168, 0x55}, {0x0169, 0x75}, {0x016A, 0x55}, {0x016B, 0x75},
    {0x016C, 0x55}, {0x016D, 0x75}, {0x016E, 0x55}, {0x016F, 0x75}, {0x0170, 0x55}, {0x0171, 0x75},
    {0x0172, 0x55}, {0x0173, 0x75}, {0x0174, 0x57}, {0x0175, 0x77}, {0x0176, 0x59}, {0x0177, 0x79},
    {0x0179, 0x5A}, {0x017A, 0x7A}, {0x017B, 0x5A}, {0x017C, 0x7A}, {0x0180, 0x62}, {0x0189, 0xD0},
    {0x0191, 0x83}, {0x0197, 0x49}, {0x019A, 0x6C}, {0x019F, 0x4F}, {0x01A0, 0x4F}, {0x01A1, 0x6F},
    {0x01AB, 0x74}, {0x01AE, 0x54}, {0x01AF, 0x55}, {0x01B0, 0x75}, {0x01B6, 0x7A}, {0x01C0, 0x7C},
    {0x01C3, 0x21}, {0x01CD, 0x41}, {0x01CE, 0x61}, {0x01CF, 0x49}, {0x01D0, 0x69}, {0x01D1, 0x4F},
    {0x01D2, 0x6F}, {0x01D3, 0x55}, {0x01D4, 0x75}, {0x01D5, 0x55}, {0x01D6, 0x75}, {0x01D7, 0x55},
    {0x01D8, 0x75}, {0x01D9, 0x55}, {0x01DA, 0x75}, {0x01DB, 0x55}, {0x01DC, 0x75}, {0x01DE, 0x41},
    {0x01DF, 0x61}, {0x01E4, 0x47}, {0x01E5, 0x67}, {0x01E6, 0x47}, {0x01E7, 0x67}, {0x01E8, 0x4B},
    {0x01E9, 0x6B}, {0x01EA, 0x4F}, {0x01EB, 0x6F}, {0x01EC, 0x4F}, {0x01ED, 0x6F}, {0x01F0, 0x6A},
    {0x0261, 0x67}, {0x02B9, 0x27}, {0x02BA, 0x22}, {0x02BC, 0x27}, {0x02C4, 0x5E}, {0x02C8, 0x27},
    {0x02C9, 0xAF}, {0x02CA, 0xB4}, {0x02CB, 0x60}, {0x02CD, 0x5F}, {0x02DA, 0xB0}, {0x0300, 0x60},
    {0x0301, 0xB4}, {0x0302, 0x5E}, {0x0303, 0x7E}, {0x0304, 0xAF}, {0x0305, 0xAF}, {0x0308, 0xA8},
    {0x030A, 0xB0}, {0x030E, 0x22}, {0x0327, 0xB8}, {0x0331, 0x5F}, {0x0332, 0x5F}, {0x037E, 0x3B},
    {0x0393, 0x47}, {0x0398, 0x54}, {0x03A3, 0x53}, {0x03A6, 0x46}, {0x03A9, 0x4F}, {0x03B1, 0x61},
    {0x03B2, 0xDF}, {0x03B4, 0x64}, {0x03B5, 0x65}, {0x03BC, 0xB5}, {0x03C0, 0x70}, {0x03C3, 0x73},
    {0x03C4, 0x74}, {0x03C6, 0x66}, {0x04BB, 0x68}, {0x0589, 0x3A}, {0x066A, 0x25}, {0x2000, 0x20},
    {0x2001, 0x20}, {0x2002, 0x20}, {0x2003, 0x20}, {0x2004, 0x20}, {0x2005, 0x20}, {0x2006, 0x20},
    {0x2010, 0x2D}, {0x2011, 0x2D}, {0x2017, 0x3D}, {0x2024, 0xB7}, {0x2032, 0x27}, {0x2035, 0x60},
    {0x2044, 0x2F}, {0x2070, 0xB0}, {0x2074, 0x34}, {0x2075, 0x35}, {0x2076, 0x36}, {0x2077, 0x37},
    {0x2078, 0x38}, {0x207F, 0x6E}, {0x2080, 0x30}, {0x2081, 0x31}, {0x2082, 0x32}, {0x2083, 0x33},
    {0x2084, 0x34}, {0x2085, 0x35}, {0x2086, 0x36}, {0x2087, 0x37}, {0x2088, 0x38}, {0x2089, 0x39},
    {0x20A1, 0xA2}, {0x20A4, 0xA3}, {0x20A7, 0x50}, {0x2102, 0x43}, {0x2107, 0x45}, {0x210A, 0x67},
    {0x210B, 0x48}, {0x210C, 0x48}, {0x210D, 0x48}, {0x210E, 0x68}, {0x2110, 0x49}, {0x2111, 0x49},
    {0x2112, 0x4C}, {0x2113, 0x6C}, {0x2115, 0x4E}, {0x2118, 0x50}, {0x2119, 0x50}, {0x211A, 0x51},
    {0x211B, 0x52}, {0x211C, 0x52}, {0x211D, 0x52}, {0x2124, 0x5A}, {0x2128, 0x5A}, {0x212A, 0x4B},
    {0x212B, 0xC5}, {0x212C, 0x42}, {0x212D, 0x43}, {0x212E, 0x65}, {0x212F, 0x65}, {0x2130, 0x45},
    {0x2131, 0x46}, {0x2133, 0x4D}, {0x2134, 0x6F}, {0x2205, 0xD8}, {0x2212, 0x2D}, {0x2213, 0xB1},
    {0x2215, 0x2F}, {0x2216, 0x5C}, {0x2217, 0x2A}, {0x2218, 0xB0}, {0x2219, 0xB7}, {0x221A, 0x76},
    {0x221E, 0x38}, {0x2223, 0x7C}, {0x2229, 0x6E}, {0x2236, 0x3A}, {0x223C, 0x7E}, {0x2248, 0x98},
    {0x2261, 0x3D}, {0x2264, 0x3D}, {0x2265, 0x3D}, {0x226A, 0xAB}, {0x226B, 0xBB}, {0x22C5, 0xB7},
    {0x2302, 0xA6}, {0x2303, 0x5E}, {0x2310, 0xAC}, {0x2320, 0x28}, {0x2321, 0x29}, {0x2329, 0x3C},
    {0x232A, 0x3E}, {0x2500, 0x2D}, {0x2502, 0xA6}, {0x250C, 0x2B}, {0x2510, 0x2B}, {0x2514, 0x2B},
    {0x2518, 0x2B}, {0x251C, 0x2B}, {0x2524, 0xA6}, {0x252C, 0x2D}, {0x2534, 0x2D}, {0x253C, 0x2B},
    {0x2550, 0x2D}, {0x2551, 0xA6}, {0x2552, 0x2B}, {0x2553, 0x2B}, {0x2554, 0x2B}, {0x2555, 0x2B},
    {0x2556, 0x2B}, {0x2557, 0x2B}, {0x2558, 0x2B}, {0x2559, 0x2B}, {0x255A, 0x2B}, {0x255B, 0x2B},
    {0x255C, 0x2B}, {0x255D, 0x2B}, {0x255E, 0xA6}, {0x255F, 0xA6}, {0x2560, 0xA6}, {0x2561, 0xA6},
    {0x2562, 0xA6}, {0x2563, 0xA6}, {0x2564, 0x2D}, {0x2565, 0x2D}, {0x2566, 0x2D}, {0x2567, 0x2D},
    {0x2568, 0x2D}, {0x2569, 0x2D}, {0x256A, 0x2B}, {0x256B, 0x2B}, {0x256C, 0x2B}, {0x2580, 0xAF},
    {0x2584, 0x5F}, {0x2588, 0xA6}, {0x258C, 0xA6}, {0x2590, 0xA6}, {0x2591, 0xA6}, {0x2592, 0xA6},
    {0x2593, 0xA6}, {0x25A0, 0xA6}, {0x263C, 0xA4}, {0x2758, 0x7C}, {0x3000, 0x20}, {0x3008, 0x3C},
    {0x3009, 0x3E}, {0x300A, 0xAB}, {0x300B, 0xBB}, {0x301A, 0x5B}, {0x301B, 0x5D}, {0x30FB, 0xB7},
    {0xFF01, 0x21}, {0xFF02, 0x22}, {0xFF03, 0x23}, {0xFF04, 0x24}, {0xFF05, 0x25}, {0xFF06, 0x26},
    {0xFF07, 0x27}, {0xFF08, 0x28}, {0xFF09, 0x29}, {0xFF0A, 0x2A}, {0xFF0B, 0x2B}, {0xFF0C, 0x2C},
    {0xFF0D, 0x2D}, {0xFF0E, 0x2E}, {0xFF0F, 0x2F}, {0xFF10, 0x30}, {0xFF11, 0x31}, {0xFF12, 0x32},
    {0xFF13, 0x33}, {0xFF14, 0x34}, {0xFF15, 0x35}, {0xFF16, 0x36}, {0xFF17, 0x37}, {0xFF18, 0x38},
    {0xFF19, 0x39}, {0xFF1A, 0x3A}, {0xFF1B, 0x3B}, {0xFF1C, 0x3C}, {0xFF1D, 0x3D}, {0xFF1E, 0x3E},
    {0xFF20, 0x40}, {0xFF21, 0x41}, {0xFF22, 0x42}, {0xFF23, 0x43}, {0xFF24, 0x44}, {0xFF25, 0x45},
    {0xFF26, 0x46}, {0xFF27, 0x47}, {0xFF28, 0x48}, {0xFF29, 0x49}, {0xFF2A, 0x4A}, {0xFF2B, 0x4B},
    {0xFF2C, 0x4C}, {0xFF2D, 0x4D}, {0xFF2E, 0x4E}, {0xFF2F, 0x4F}, {0xFF30, 0x50}, {0xFF31, 0x51},
    {0xFF32, 0x52}, {0xFF33, 0x53}, {0xFF34, 0x54}, {0xFF35, 0x55}, {0xFF36, 0x56}, {0xFF37, 0x57},
    {0xFF38, 0x58}, {0xFF39, 0x59}, {0xFF3A, 0x5A}, {0xFF3B, 0x5B}, {0xFF3C, 0x5C}, {0xFF3D, 0x5D},
    {0xFF3E, 0x5E}, {0xFF3F, 0x5F}, {0xFF40, 0x60}, {0xFF41, 0x61}, {0xFF42, 0x62}, {0xFF43, 0x63},
    {0xFF44, 0x64}, {0xFF45, 0x65}, {0xFF46, 0x66}, {0xFF47, 0x67}, {0xFF48, 0x68}, {0xFF49, 0x69},
    {0xFF4A, 0x6A}, {0xFF4B, 0x6B}, {0xFF4C, 0x6C}, {0xFF4D, 0x6D}, {0xFF4E, 0x6E}, {0xFF4F, 0x6F},
    {0xFF50, 0x70}, {0xFF51, 0x71}, {0xFF52, 0x72}, {0xFF53, 0x73}, {0xFF54, 0x74}, {0xFF55, 0x75},
    {0xFF56, 0x76}, {0xFF57, 0x77}, {0xFF58, 0x78}, {0xFF59, 0x79}, {0xFF5A, 0x7A}, {0xFF5B, 0x7B},
    {0xFF5C, 0x7C}, {0xFF5D, 0x7D}, {0xFF5E, 0x7E},
};

char16_t FromAnsi(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

unsigned char ToAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
  const BestFit* end = kBestFit + sizeof kBestFit / sizeof kBestFit[0];
  const BestFit* it = std::lower_bound(kBestFit, end, c, [](const BestFit& e, char16_t v) {
    return e.from < v;
  });
  if (it != end && it->from == c) return it->to;
  return '?';
}

WString Widen(const char* s) {
  WString w;
  if (s)
    for (; *s; ++s) w += FromAnsi(static_cast<unsigned char>(*s));
  return w;
}

// ---- decoding the file ---------------------------------------------------

const char16_t kReplacement = 0xFFFD;

void AppendCodePoint(WString& out, std::uint32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// UTF-8 the way the system decodes it: an ill-formed sequence becomes one
// U+FFFD for its longest valid prefix, and a sequence cut off by the end of
// the data swallows the rest of the data into one U+FFFD.
WString DecodeUtf8(const unsigned char* p, size_t n) {
  WString out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    const unsigned char lead = p[i++];
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      continue;
    }
    size_t need = 0;
    std::uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      cp = lead & 0x07;
    } else {
      out += kReplacement;
      continue;
    }
    if (need > n - i) {
      out += kReplacement;
      break;
    }
    // Continuation bytes are taken while the sequence can still be valid.
    // Like the system, an overlong form or a surrogate is found after the
    // byte that shows it (which joins the bad prefix), a value past U+10FFFF
    // before the byte that would complete it.
    bool ok = true;
    for (size_t k = 0; k < need; ++k) {
      const unsigned bits = p[i] ^ 0x80u;
      if (bits >= 0x40) {
        ok = false;
        break;
      }
      cp = (cp << 6) | bits;
      if (need == 3 && k == 1 && cp >= 0x4400) {
        ok = false;
        break;
      }
      ++i;
      if ((need == 3 && k == 0 && cp < 0x10) ||
          (need == 2 && k == 0 && (cp < 0x20 || (cp >= 0x360 && cp < 0x380)))) {
        ok = false;
        break;
      }
    }
    if (ok)
      AppendCodePoint(out, cp);
    else
      out += kReplacement;
  }
  return out;
}

WString DecodeUtf16(const unsigned char* p, size_t n, bool bigEndian) {
  WString out;
  out.reserve(n / 2 + 1);
  size_t i = 0;
  for (; i + 1 < n; i += 2)
    out += static_cast<char16_t>(bigEndian ? (p[i] << 8) | p[i + 1] : p[i] | (p[i + 1] << 8));
  if (i < n) out += static_cast<char16_t>(p[i]);  // an odd last byte stands alone
  return out;
}

WString Decode(const std::string& bytes) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) return DecodeUtf8(p + 3, n - 3);
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return DecodeUtf16(p + 2, n - 2, false);
  if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) return DecodeUtf16(p + 2, n - 2, true);
  WString out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out += FromAnsi(p[i]);
  return out;
}

// ---- the profile tree ----------------------------------------------------

bool IsProfileSpace(char16_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

char16_t FoldAscii(char16_t c) { return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameName(const WString& a, const WString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// Names and values are C strings in the system: an embedded NUL ends them.
WString UpToNul(const char16_t* b, const char16_t* e) {
  const char16_t* z = std::find(b, e, u'\0');
  return WString(b, z);
}

WString Trimmed(const WString& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsProfileSpace(s[b])) ++b;
  while (e > b && IsProfileSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

struct Key {
  WString name;
  bool hasValue = false;  // a line without '=' is a key with no value
  WString value;
};

struct Section {
  WString name;
  std::vector<Key> keys;
};

// Lines before the first header belong to a nameless section, which always
// exists and comes first.
using Profile = std::vector<Section>;

Profile Parse(const WString& text) {
  Profile prof(1);
  const char16_t* const begin = text.data();
  const char16_t* const end = begin + text.size();
  const char16_t* next = begin;
  while (next < end) {
    const char16_t* ls = next;
    const char16_t* le = ls;
    while (le < end && *le != '\n' && *le != '\r') ++le;
    next = le < end ? le + 1 : end;
    while (ls < le && IsProfileSpace(*ls)) ++ls;
    while (le > ls && IsProfileSpace(le[-1])) --le;
    if (ls == le) continue;

    if (*ls == '[') {
      const char16_t* close = le;
      while (close > ls && close[-1] != ']') --close;
      if (close > ls) {  // the last ']' on the line closes the name
        const char16_t* nb = ls + 1;
        const char16_t* ne = close - 1;
        while (nb < ne && IsProfileSpace(*nb)) ++nb;
        while (ne > nb && IsProfileSpace(ne[-1])) --ne;
        Section s;
        s.name = UpToNul(nb, ne);
        prof.push_back(std::move(s));
        continue;
      }
      // No ']': an ordinary key line.
    }

    const char16_t* eq = std::find(ls, le, u'=');
    const char16_t* nameEnd = le;
    Key k;
    if (eq != le) {
      nameEnd = eq;
      while (nameEnd > ls && IsProfileSpace(nameEnd[-1])) --nameEnd;
      const char16_t* vb = eq + 1;
      while (vb < le && IsProfileSpace(*vb)) ++vb;
      k.hasValue = true;
      k.value = UpToNul(vb, le);
    }
    k.name = UpToNul(ls, nameEnd);
    std::vector<Key>& keys = prof.back().keys;
    // A run of nameless keys keeps only its first.
    if (nameEnd == ls && !keys.empty() && keys.back().name.empty()) continue;
    keys.push_back(std::move(k));
  }
  return prof;
}

// ---- finding and reading the file ----------------------------------------

enum class Open { kLoaded, kFailed };

bool IsSep(char c) { return c == '\\' || c == '/'; }

bool IsInvalidNameChar(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

std::string ToUtf8(const std::string& ansi) {
  std::string out;
  for (unsigned char b : ansi) {
    const char16_t c = FromAnsi(b);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool SameFileName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

// The entry of `dir` that `name` names, found without regard to case the way
// the system's file lookup does; empty when there is none.
std::string FindEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  if (lstat((dir + name).c_str(), &st) == 0) return name;
  std::string found;
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return found;
  while (dirent* e = readdir(d)) {
    if (SameFileName(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

std::vector<std::string> SplitPath(const std::string& s) {
  std::vector<std::string> parts(1);
  for (char c : s) {
    if (c == '/')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

// Files beyond this size are refused rather than read whole.
const off_t kMaxFileSize = 64L * 1024 * 1024;

bool ReadWholeFile(const std::string& path, std::string* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize;
  if (ok) {
    out->clear();
    char chunk[65536];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ok = false;
      if (got <= 0) break;
      out->append(chunk, static_cast<size_t>(got));
      if (out->size() > static_cast<size_t>(kMaxFileSize)) {
        ok = false;
        break;
      }
    }
  }
  close(fd);
  return ok;
}

// Finds the file the way the system resolves a profile name and loads it.
// A name without any path separator lives in the Windows directory, which
// this platform does not have; an absent file reads as an empty one, while
// a path that cannot lead to a file (missing directory, a directory, an
// invalid name) fails, which changes how the default is returned.
Open LoadProfile(const char* file, Profile* prof) {
  *prof = Profile(1);
  if (!file) return Open::kLoaded;  // win.ini: not modelled, reads as empty
  const std::string name = file;
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (!drive && std::none_of(name.begin(), name.end(), IsSep)) return Open::kLoaded;
  if (name.size() >= 2 && IsSep(name[0]) && IsSep(name[1])) return Open::kFailed;  // UNC or device path

  std::string rest = drive ? name.substr(2) : name;
  std::vector<std::string> comps;
  // The process's drive is Z:, the host's root; other drives do not exist here.
  const bool otherDrive = drive && name[0] != 'z' && name[0] != 'Z';
  const bool rooted = !rest.empty() && IsSep(rest[0]);
  if (!otherDrive && !rooted) {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return Open::kFailed;
    for (const std::string& c : SplitPath(cwd))
      if (!c.empty()) comps.push_back(c);
  }

  std::vector<std::string> raw(1);
  for (char c : rest) {
    if (IsSep(c))
      raw.emplace_back();
    else
      raw.back() += c;
  }
  if (raw.back().empty() && !rest.empty() && IsSep(rest.back()))
    return Open::kFailed;  // "name\" names a directory
  size_t last = raw.size();
  while (last > 0 && raw[last - 1].empty()) --last;
  size_t added = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    std::string c = raw[i];
    if (c.empty()) continue;
    const bool final = i + 1 == last;
    if (std::all_of(c.begin(), c.end(), [](char x) { return x == '.'; })) {
      if (c.size() >= 2 && !comps.empty()) {
        comps.pop_back();
        if (added > 0) --added;
      }
      continue;
    }
    // Trailing dots never count; on the last name trailing blanks do not either.
    while (!c.empty() && (c.back() == '.' || (final && c.back() == ' '))) c.pop_back();
    if (c.empty()) continue;
    if (std::any_of(c.begin(), c.end(), [](char x) { return IsInvalidNameChar(static_cast<unsigned char>(x)); }))
      return Open::kFailed;
    comps.push_back(ToUtf8(c));
    ++added;
  }
  if (otherDrive) return added <= 1 ? Open::kLoaded : Open::kFailed;
  if (comps.empty()) return Open::kFailed;  // the root directory

  std::string path = "/";
  for (size_t i = 0; i + 1 < comps.size(); ++i) {
    const std::string entry = FindEntry(path, comps[i]);
    struct stat st;
    if (entry.empty() || stat((path + entry).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return Open::kFailed;
    path += entry + "/";
  }
  const std::string entry = FindEntry(path, comps.back());
  if (entry.empty()) return Open::kLoaded;
  struct stat st;
  if (stat((path + entry).c_str(), &st) != 0) return Open::kLoaded;  // dangling link
  if (!S_ISREG(st.st_mode)) return Open::kFailed;
  std::string bytes;
  if (!ReadWholeFile(path + entry, &bytes)) return Open::kFailed;
  *prof = Parse(Decode(bytes));
  return Open::kLoaded;
}

// ---- the reads, in UTF-16 units ------------------------------------------

// Copies at most len-1 units of value; a value wrapped in one pair of the
// same quote (' or ") loses them. When the buffer is just short of the
// quoted text, the system drops the last copied unit instead of the closing
// quote; that is kept.
WString CopyEntry(const WString& value, size_t len) {
  if (len == 0) return WString();
  const char16_t* v = value.c_str();
  bool quote = false;
  if ((v[0] == '\'' || v[0] == '"') && v[1] != 0 && value.back() == v[0]) {
    quote = true;
    ++v;
  }
  const size_t vlen = std::char_traits<char16_t>::length(v);
  WString out(v, std::min(vlen, len - 1));
  if (quote && len >= vlen && !out.empty()) out.pop_back();
  return out;
}

WString SectionNames(const Profile& prof, size_t len) {
  WString out;
  if (len <= 1) return out;
  size_t room = len - 1;
  for (const Section& s : prof) {
    if (s.name.empty()) continue;
    const size_t need = s.name.size() + 1;
    if (need >= room) {
      out.append(s.name, 0, room - 1);
      out += u'\0';
      out.resize(len - 2);  // the answer counts without the final pair of NULs
      return out;
    }
    out += s.name;
    out += u'\0';
    room -= need;
  }
  return out;
}

// Key names of a section, each followed by NUL; keys without a value and
// keys starting with ';' are left out. An empty answer (or one starting
// with an empty name) gives the default instead.
WString KeyNames(const Profile& prof, const WString& section, const WString& def, size_t len) {
  WString out;
  const Section* found = nullptr;
  for (const Section& s : prof)
    if (SameName(s.name, section)) {
      found = &s;
      break;
    }
  if (found) {
    size_t room = len;
    bool cut = false;
    for (const Key& k : found->keys) {
      if (room <= 2) break;
      if (!k.name.empty() && k.name[0] == ';') continue;
      if (!k.hasValue) continue;
      const size_t n = std::min(k.name.size(), room - 2);
      out.append(k.name, 0, n);
      out += u'\0';
      room -= n + 1;
      if (room < 2) {
        cut = true;
        break;
      }
    }
    if (cut) out.resize(len - 2);
  }
  if (out.empty() || out[0] == 0) return CopyEntry(def, len);
  return out;
}

// The answer of GetPrivateProfileStringW for a buffer of `len` units.
WString GetString(const char* section, const char* key, const char* def, size_t len,
                  const char* file) {
  WString wdef = Widen(def);
  if (def && key) {
    // Trailing blanks of the default go, but a default of blanks keeps one.
    size_t e = wdef.size();
    while (e > 1 && wdef[e - 1] == ' ') --e;
    wdef.resize(e);
  }
  Profile prof;
  if (LoadProfile(file, &prof) == Open::kFailed) {
    if (!section || !def) return WString();
    return wdef.substr(0, len - 1);
  }
  if (!section) return SectionNames(prof, len);
  if (!key) return KeyNames(prof, Widen(section), wdef, len);

  const WString wsec = Trimmed(Widen(section));
  const WString wkey = Trimmed(Widen(key));
  for (const Section& s : prof) {
    if (!SameName(s.name, wsec)) continue;
    for (const Key& k : s.keys) {
      if (!SameName(k.name, wkey)) continue;
      return CopyEntry(k.hasValue ? k.value : wdef, len);
    }
    break;  // only the first section of that name counts
  }
  return CopyEntry(wdef, len);
}

// Integers as the system parses them: leading blanks and control characters
// skipped, one sign, a lowercase "0x", "0o" or "0b" prefix for another base,
// digits up to the first that does not belong, and the total taken modulo
// 2^32.
int ParseInt(const WString& s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] != 0 && s[i] <= ' ') ++i;
  bool minus = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) minus = s[i++] == '-';
  unsigned base = 10;
  if (n - i >= 2 && s[i] == '0') {
    if (s[i + 1] == 'x') base = 16;
    else if (s[i + 1] == 'o') base = 8;
    else if (s[i + 1] == 'b') base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t total = 0;
  for (; i < n; ++i) {
    const char16_t c = s[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
    else break;
    if (digit >= base) break;
    total = total * base + digit;
  }
  if (minus) total = 0u - total;
  return static_cast<int>(total);
}

}  // namespace

int ReadProfileInt(const char* section, const char* key, int def, const char* file) {
  // The system reads the value into a 30-unit buffer first, so only its
  // first 29 characters count.
  const WString text = GetString(section, key, "", 30, file);
  if (text.empty()) return def;
  return ParseInt(text);
}

int ReadProfileString(const char* section, const char* key, const char* def,
                      char* buf, int size, const char* file) {
  if (!buf || size <= 0) return 0;
  const WString text = GetString(section, key, def, static_cast<size_t>(size), file);
  const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  for (size_t i = 0; i < n; ++i) buf[i] = static_cast<char>(ToAnsi(text[i]));
  buf[n] = '\0';
  return static_cast<int>(n);
}
