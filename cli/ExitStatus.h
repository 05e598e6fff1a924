// orvex-cli's exit statuses, in one place. The engine's results are the
// same numbers for the first five.
#pragma once

#include "update/UpdateEngine.h"

enum ExitStatus : int {
  ORVEX_EXIT_OK = ENGINE_OK,                       // done
  ORVEX_EXIT_DECLINED = ENGINE_DECLINED,           // the user answered no
  ORVEX_EXIT_REFUSED = ENGINE_REFUSED,             // refused before any write reached the drive
  ORVEX_EXIT_NOT_WRITTEN = ENGINE_NOT_WRITTEN,     // failed before the commit; firmware unchanged
  ORVEX_EXIT_COMMIT_FAILED = ENGINE_COMMIT_FAILED, // failed during or after the commit
  ORVEX_EXIT_USAGE = 64,                           // bad command line
  ORVEX_EXIT_UNAVAILABLE = 69                      // no usable transport
};

inline const char* ExitStatusName(int status) {
  switch (status) {
    case ORVEX_EXIT_OK: return "ok";
    case ORVEX_EXIT_DECLINED: return "declined";
    case ORVEX_EXIT_REFUSED: return "refused";
    case ORVEX_EXIT_NOT_WRITTEN: return "not_written";
    case ORVEX_EXIT_COMMIT_FAILED: return "commit_failed";
    case ORVEX_EXIT_USAGE: return "usage";
    case ORVEX_EXIT_UNAVAILABLE: return "unavailable";
    default: return "unknown";
  }
}
