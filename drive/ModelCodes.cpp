// The model-code table.
#include "drive/ModelCodes.h"

#include <cstring>

namespace {

struct ModelRow {
  int code;
  const char* product;  // exactly 16 characters, blanks included
};

const ModelRow kModels[] = {
    {5, "DVD+-RW MQT-R52A"},  {6, "DVD+-RW MQT-R41A"},  {11, "DVD Writer 3K5x "},
    {12, "DVD Writer 4K5x "}, {13, "DVD Writer 4K5y "}, {15, "DVDRRW MQT-R52A "},
    {16, "DVDRRW MQT-R41A "}, {17, "DVDRRW MQT-R52C "}, {18, "DVDRRW MQT-R41C "},
    {19, "DVDRRW MQT-R52D "}, {20, "DVDRRW MQT-R41D "}, {21, "DVDRRW MQT-R52B "},
    {22, "DVDRRW MQT-R41B "}, {23, "DVD-RAM MQT-R41D"}, {24, "DVD-RAM MQT-R41C"},
    {25, "DVD-RAM MQT-R41B"}, {31, "DVD-RAM MQT-R63A"}, {33, "DVD Writer 3K1b "},
    {34, "DVD Writer 3K1e "}, {35, "DVD Writer 4K1b "}, {36, "DVD Writer 4K1e "},
    {39, "DVD+-RW MQT-R74A"}, {40, "DVD+-RW MQT-R63A"}, {49, " DVDRRW MQT-R52A"},
    {50, " DVDRRW MQT-R41A"}, {51, "DVDRRW MQT-R63A "}, {52, "DVDRRW MQT-R74A "},
    {53, "DVD+-RW MQT-R52D"}, {54, "DVD+-RW MQT-R74D"},
};

const char kDefaultModel[] = "DVD-RAM MQT-R41A";

}  // namespace

const char* ModelForCode(int code) {
  for (const ModelRow& row : kModels)
    if (row.code == code) return row.product;
  return kDefaultModel;
}

int CodeForModel(const char* product) {
  if (product == nullptr) return 0;
  for (const ModelRow& row : kModels)
    if (std::strncmp(row.product, product, 16) == 0) return row.code;
  return 0;
}
