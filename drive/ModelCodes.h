// The model codes of the configuration file and the drives they name.
#pragma once

// Product identification of a configured model code; unknown codes give the
// first row.
const char* ModelForCode(int code);
// The model code of a product identification (16 characters), or 0 when
// no code names it.
int CodeForModel(const char* product);
