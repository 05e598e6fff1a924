// The firmware-zone checksum read so that a failed read can be told apart
// from a checksum (the image's own operation hands back the error code in
// place of the value).
#pragma once

#include <cstdint>

class FirmwareImage;

// 0 and the checksum in *value, or the request's nonzero result, which is
// ASPI_ERR_SHORT_ANSWER when the four bytes did not all arrive (then
// *value holds that result, as the image's operation reports it).
int ReadZoneChecksumChecked(FirmwareImage& image, int drive, std::uint32_t* value);
