// orvex-imagegen: writes a firmware image file for tests and the demo.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/ImageGen.h"

namespace {

const char kUsage[] =
    "usage: orvex-imagegen OUT.bin [options]\n"
    "  --size N                      file length (default 2097152)\n"
    "  --seed N                      filler seed (default 1)\n"
    "  --identity OFF VEN PROD REV   28-byte identity block at OFF\n"
    "  --text OFF TEXT               bytes of TEXT at OFF\n"
    "Numbers take 0x for hex. Prints the byte sum of the first 1703936 bytes.\n";

const char kLayout[] =
    "\n"
    "An image is 2,097,152 bytes of filler with patches. The updater reads its\n"
    "first 1,703,936 bytes (0 to 19FFFFh) and looks for two things between\n"
    "140000h and 19FFFFh, so both patches go there:\n"
    "  the identity block (--identity): vendor (8 bytes), product (16) and\n"
    "    revision (4), space-padded, as the drive reports them; it must equal the\n"
    "    drive's vendor and product, and its revision decides newer or not;\n"
    "  the drive's identification text (--text): the six bytes the drive gives\n"
    "    to its F0h query (the simulated drive's `idtext`).\n"
    "\n"
    "Example: an image that a simulated drive configured with\n"
    "  vendor \"KORVELIN\", product \"DVDRRW M1\", revision \"1.00\", idtext \"ABC123\"\n"
    "(the simulated drive's defaults) accepts as newer:\n"
    "  orvex-imagegen new.bin --identity 0x150000 KORVELIN \"DVDRRW M1\" 1.10 --text 0x160000 ABC123\n";

void Usage() { std::fputs(kUsage, stderr); }

bool Number(const char* s, unsigned long* out) {
  char* end = nullptr;
  unsigned long v = std::strtoul(s, &end, 0);
  if (*s == '\0' || *end != '\0') return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    std::fputs(kLayout, stdout);
    return 0;
  }
  if (argc < 2 || argv[1][0] == '-') {
    Usage();
    return 2;
  }
  imagegen::ImageSpec layout;
  unsigned long a = 0;
  for (int i = 2; i < argc; ++i) {
    std::string opt = argv[i];
    if (opt == "--size" && i + 1 < argc && Number(argv[i + 1], &a)) {
      layout.size = a;
      i += 1;
    } else if (opt == "--seed" && i + 1 < argc && Number(argv[i + 1], &a)) {
      layout.seed = static_cast<std::uint32_t>(a);
      i += 1;
    } else if (opt == "--identity" && i + 4 < argc && Number(argv[i + 1], &a)) {
      layout.Identity(a, argv[i + 2], argv[i + 3], argv[i + 4]);
      i += 4;
    } else if (opt == "--text" && i + 2 < argc && Number(argv[i + 1], &a)) {
      layout.Text(a, argv[i + 2]);
      i += 2;
    } else {
      Usage();
      return 2;
    }
  }
  if (!imagegen::Write(argv[1], layout)) {
    std::fprintf(stderr, "orvex-imagegen: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%08X\n", imagegen::ByteSum(imagegen::Build(layout), 0x1A0000));
  return 0;
}
