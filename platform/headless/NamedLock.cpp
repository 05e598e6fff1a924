// Named locks within the process: the test plays the other process.
#include "platform/NamedLock.h"

#include <map>
#include <mutex>

#include "platform/headless/InspectLock.h"

namespace {
std::mutex g_lock;
// Name -> holder (0: another process).
std::map<std::string, std::uintptr_t> g_held;
std::set<std::string> g_asked;
std::uintptr_t g_next = 1;
}  // namespace

bool CNamedLock::Acquire(const std::string& name) {
  if (m_handle != 0) return true;
  std::lock_guard<std::mutex> guard(g_lock);
  g_asked.insert(name);
  if (g_held.count(name) != 0) return false;
  m_handle = g_next++;
  g_held[name] = m_handle;
  return true;
}

void CNamedLock::Release() {
  if (m_handle == 0) return;
  std::lock_guard<std::mutex> guard(g_lock);
  for (auto it = g_held.begin(); it != g_held.end(); ++it) {
    if (it->second == m_handle) {
      g_held.erase(it);
      break;
    }
  }
  m_handle = 0;
}

namespace headless {

std::set<std::string> NamedLocksHeld() {
  std::lock_guard<std::mutex> guard(g_lock);
  std::set<std::string> names;
  for (const auto& h : g_held) names.insert(h.first);
  return names;
}

const std::set<std::string>& NamedLocksAsked() { return g_asked; }

void OtherProcessHolds(const std::string& name) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_held[name] = 0;
}

void ResetNamedLocks() {
  std::lock_guard<std::mutex> guard(g_lock);
  for (auto it = g_held.begin(); it != g_held.end();) it = it->second == 0 ? g_held.erase(it) : std::next(it);
  g_asked.clear();
}

}  // namespace headless
