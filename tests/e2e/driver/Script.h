// Reading the driver's command scripts: one command per line, words split
// on blanks, double-quoted words with C escapes, '#' starts a comment line.
#pragma once

#include <string>
#include <vector>

namespace drv {

struct Line {
  int number = 0;          // 1-based line number in the script
  std::string text;        // the line as written, for the transcript
  std::vector<std::string> words;
};

// Splits one line into words. Returns false with `err` set on an unclosed
// quote or an unknown escape.
bool SplitWords(const std::string& text, std::vector<std::string>* words, std::string* err);

// Integer word: decimal, 0x hex, a known name (IDC_STATUS, WM_USER, ...),
// optionally followed by +N or -N ("WM_USER+4"). False when not a number.
bool ParseInt(const std::string& word, long* value);

// Makes control characters visible (\r, \n, \t, \xHH) and quotes the text.
std::string Quote(const std::string& text);

}  // namespace drv
