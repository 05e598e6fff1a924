#include "Script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "res/ResourceIds.h"

namespace drv {

namespace {

struct Name {
  const char* name;
  long value;
};

// Names a script may use instead of numbers: the program's resource ids and
// the few window messages the cases send. Values come from the shared header.
#define N(x) {#x, (long)(x)}
const Name kNames[] = {
    N(IDD_ABOUTBOX), N(IDD_UPDATER_DIALOG), N(IDM_ABOUTBOX),
    N(IDC_PROGRESS), N(IDC_DRIVE), N(IDC_OPEN), N(IDC_NEW), N(IDC_CURRENT),
    N(IDC_CURRENT_LABEL), N(IDC_NEW_LABEL), N(IDC_DRIVE_LABEL), N(IDC_UPDATE),
    N(IDC_FILE), N(IDC_STATUS), N(IDC_FILE_LABEL), N(IDC_ABOUT_PICTURE),
    N(IDC_ABOUT_TEXT), N(IDC_ABOUT_COPYRIGHT),
    {"IDOK", 1}, {"IDCANCEL", 2},
    {"WM_CLOSE", 0x0010}, {"WM_COMMAND", 0x0111}, {"WM_SYSCOMMAND", 0x0112},
    {"WM_TIMER", 0x0113}, {"WM_USER", 0x0400}, {"SC_CLOSE", 0xF060},
    {"SC_MINIMIZE", 0xF020}, {"SC_RESTORE", 0xF120},
    {"WM_QUERYENDSESSION", 0x0011}, {"WM_POWERBROADCAST", 0x0218}, {"PBT_APMQUERYSUSPEND", 0x0000},
    {"BROADCAST_QUERY_DENY", 0x424D5144}, {"ENDSESSION_LOGOFF", (long)0x80000000UL},
};
#undef N

bool ParsePlain(const std::string& s, long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  long n = std::strtol(s.c_str(), &end, 0);
  if (end && *end == '\0') {
    *v = n;
    return true;
  }
  for (const Name& nm : kNames) {
    if (s == nm.name) {
      *v = nm.value;
      return true;
    }
  }
  return false;
}

}  // namespace

bool SplitWords(const std::string& text, std::vector<std::string>* words, std::string* err) {
  words->clear();
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    std::string w;
    if (c != '"') {
      while (i < text.size() && text[i] != ' ' && text[i] != '\t') w += text[i++];
      words->push_back(w);
      continue;
    }
    ++i;
    bool closed = false;
    while (i < text.size()) {
      char d = text[i++];
      if (d == '"') {
        closed = true;
        break;
      }
      if (d != '\\') {
        w += d;
        continue;
      }
      if (i >= text.size()) break;
      char e = text[i++];
      switch (e) {
        case 'r': w += '\r'; break;
        case 'n': w += '\n'; break;
        case 't': w += '\t'; break;
        case '\\': w += '\\'; break;
        case '"': w += '"'; break;
        case 'x': {
          if (i + 2 > text.size()) {
            *err = "short \\x escape";
            return false;
          }
          w += (char)std::strtol(text.substr(i, 2).c_str(), nullptr, 16);
          i += 2;
          break;
        }
        default:
          *err = std::string("unknown escape \\") + e;
          return false;
      }
    }
    if (!closed) {
      *err = "unclosed quote";
      return false;
    }
    words->push_back(w);
  }
  return true;
}

bool ParseInt(const std::string& word, long* value) {
  size_t op = word.find_first_of("+-", 1);
  if (op == std::string::npos) return ParsePlain(word, value);
  long a = 0, b = 0;
  if (!ParsePlain(word.substr(0, op), &a) || !ParsePlain(word.substr(op + 1), &b)) {
    return ParsePlain(word, value);
  }
  *value = word[op] == '+' ? a + b : a - b;
  return true;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out += (char)c;
        }
    }
  }
  return out + "\"";
}

}  // namespace drv
