// Named locks between processes: flock(2) on a file under /run/lock, one
// file per device, which the system lets go when its holder closes it or
// dies. Within the process a table of names as well, through which tests
// play another process (InspectLock.h).
#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/headless/InspectLock.h"

namespace {
std::mutex g_lock;
// Name -> holder (0: another process).
std::map<std::string, std::uintptr_t> g_held;
std::set<std::string> g_asked;
std::uintptr_t g_next = 1;
// Holder -> its lock file's descriptor (-1: none).
std::map<std::uintptr_t, int> g_files;

const long kNoGroup = -1;

// The group whose members share the lock's file: the device node's, for
// only a user with rights to the drive may take its lock. kNoGroup for a
// device that is no node (a simulated drive).
long NodeGroup(const std::string& device) {
  struct stat st;
  if (device.empty() || stat(device.c_str(), &st) != 0) return kNoGroup;
  return S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode) ? static_cast<long>(st.st_gid) : kNoGroup;
}

std::string Text(int err) { return std::strerror(err); }

std::string Owner(const struct stat& st) {
  return "user " + std::to_string(st.st_uid) + ", group " + std::to_string(st.st_gid);
}

// Opens the lock's file, made if need be for the device's group alone;
// *found is the file as it was found. -1 with *why when it cannot be
// opened, or is no lock file of ours.
int OpenLockFile(const std::string& path, long group, struct stat* found, std::string* why) {
  const mode_t mode = group != kNoGroup ? 0660 : 0644;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  // Another user's file that this one may read: a shared lock on it needs
  // no more.
  if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    struct stat st;
    *why = path + ": " + Text(e) + (lstat(path.c_str(), &st) == 0 ? " (it belongs to " + Owner(st) + ")" : "");
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    *why = path + " is not a lock file (not a plain file with one name); remove it as root";
    close(fd);
    return -1;
  }
  *found = st;
  const uid_t me = geteuid();
  if (st.st_uid == me || me == 0) {
    // Made by this user, or by anyone where root may set it right: the
    // device's group, and nobody else, may open it from now on. A user
    // without rights to the drive who made it first keeps no hold on it.
    if (group != kNoGroup && (st.st_gid != static_cast<gid_t>(group) || (me == 0 && st.st_uid != 0))) {
      if (fchown(fd, me == 0 ? 0 : static_cast<uid_t>(-1), static_cast<gid_t>(group)) != 0 && me == 0) {
        *why = path + ": " + Text(errno) + " when giving it to the drive's group";
        close(fd);
        return -1;
      }
    }
    if ((st.st_mode & 07777) != mode) fchmod(fd, mode);
  }
  return fd;
}

// flock(2) on the lock's file: LOCK_HELD with its descriptor in *out.
int TakeLockFile(const std::string& path, long group, int* out, std::string* why) {
  for (int attempt = 0;; ++attempt) {
    struct stat st;
    const int fd = OpenLockFile(path, group, &st, why);
    if (fd < 0) return LOCK_REFUSED;
    // One open file per holder: two holders in one process exclude each
    // other as two processes do.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      *out = fd;
      return LOCK_HELD;
    }
    const int e = errno;
    if (e != EWOULDBLOCK) {
      close(fd);
      *why = path + ": " + Text(e);
      return LOCK_REFUSED;
    }
    // Held: by another updater, or by a user without rights to the drive
    // who made the file before any updater did and keeps it locked. Root
    // puts a file of its own in its place, while the name still is that
    // file: the other's lock stays on a file no updater opens again.
    const bool squatted =
        group != kNoGroup && st.st_uid != 0 && st.st_uid != geteuid() && st.st_gid != static_cast<gid_t>(group);
    struct stat named;
    const bool same = stat(path.c_str(), &named) == 0 && named.st_ino == st.st_ino && named.st_dev == st.st_dev;
    close(fd);
    if (squatted && geteuid() == 0 && attempt == 0 && same && unlink(path.c_str()) == 0) continue;
    if (squatted)
      *why = path + " is held, and belongs to " + Owner(st) +
             ", who has no rights to the drive; root's next update puts a file of its own in its place";
    return LOCK_BUSY;
  }
}

}  // namespace

std::string headless::LockFileName(const std::string& name, const std::string& device) {
  const char* dir = secure_getenv("ORVEX_LOCK_DIR");
  std::string path = std::string(dir != nullptr && *dir != '\0' ? dir : "/run/lock") + "/orvex-";
  struct stat st;
  if (!device.empty() && stat(device.c_str(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))) {
    // The node's number: the same for one device whichever path names it,
    // while its host number and its place in a search move.
    path += std::string(S_ISBLK(st.st_mode) ? "block-" : "char-") + std::to_string(major(st.st_rdev)) + "." +
            std::to_string(minor(st.st_rdev));
  } else {
    // Any other name, as a file name: letters and digits kept, every run
    // of other characters one '-', and a hash so that two names that only
    // differ there stay apart.
    const std::string& text = device.empty() ? name : device;
    std::uint32_t hash = 2166136261u;
    std::string kept;
    for (unsigned char c : text) {
      hash = (hash ^ c) * 16777619u;
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (plain) kept += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      else if (!kept.empty() && kept.back() != '-') kept += '-';
    }
    if (kept.size() > 120) kept.erase(0, kept.size() - 120);
    char h[16];
    std::snprintf(h, sizeof h, "%08x", hash);
    path += kept + "-" + h;
  }
  return path + ".lock";
}

int CNamedLock::Acquire(const std::string& name, const std::string& device, std::string* why) {
  why->clear();
  if (m_handle != 0) return LOCK_HELD;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_asked.insert(name);
    if (g_held.count(name) != 0) return LOCK_BUSY;
  }
  int fd = -1;
#ifndef ORVEX_GUARD_OFF_PROCESS_LOCK
  const int taken = TakeLockFile(headless::LockFileName(name, device), NodeGroup(device), &fd, why);
  if (taken != LOCK_HELD) return taken;
#endif
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_held.count(name) != 0) {
    if (fd >= 0) close(fd);
    return LOCK_BUSY;
  }
  m_handle = g_next++;
  g_held[name] = m_handle;
  g_files[m_handle] = fd;
  return LOCK_HELD;
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
  auto f = g_files.find(m_handle);
  if (f != g_files.end()) {
    // Closing the file ends its lock.
    if (f->second >= 0) close(f->second);
    g_files.erase(f);
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
