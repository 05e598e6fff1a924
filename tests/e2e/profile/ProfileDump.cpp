// Prints the answers of the private-profile reading functions to the query
// files named on the command line (format in ProfileQuery.h). The same source
// is built for Windows, where the functions sit on GetPrivateProfileIntA and
// GetPrivateProfileStringA, and for the host with the native reader; the two
// outputs must be identical. INI file names in the queries are taken as
// given, relative ones against the current directory.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/Profile.h"
#include "tests/e2e/profile/ProfileQuery.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ProfileDump QUERYFILE...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot open %s\n", argv[i]);
      status = 2;
      continue;
    }
    std::string line;
    while (std::getline(in, line)) {
      line = profq::StripEol(line);
      if (!profq::IsQuery(line)) continue;
      std::string ans = profq::Answer(line, ReadProfileInt, ReadProfileString);
      std::fputs((line + " => " + ans + "\n").c_str(), stdout);
    }
  }
  std::fflush(stdout);
  return status;
}
