// Test controls for named locks: what the program holds, and names that
// another process holds.
#pragma once

#include <set>
#include <string>

namespace headless {

// Names held now, by the program or by OtherProcessHolds.
std::set<std::string> NamedLocksHeld();
// Every name the program asked for, held or refused, in order.
const std::set<std::string>& NamedLocksAsked();
// Another process holds `name` until ResetNamedLocks.
void OtherProcessHolds(const std::string& name);
void ResetNamedLocks();
// The file whose lock stands for `name` (or `device`, when it is not
// empty): under $ORVEX_LOCK_DIR (not in a privileged run), else /run/lock.
std::string LockFileName(const std::string& name, const std::string& device);

}  // namespace headless
