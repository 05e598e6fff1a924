// The hold on Linux: an inhibitor lock from logind, which keeps a suspend
// (lid, idle, a user's request), a power-off and a reboot waiting while we
// keep its descriptor open. sd-bus reaches the system bus (or the one
// DBUS_SYSTEM_BUS_ADDRESS names).
#include "cli/SystemHold.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifdef ORVEX_HAVE_SDBUS
#include <systemd/sd-bus.h>
#endif

#ifdef ORVEX_HAVE_SDBUS
namespace {

// logind is not there (a container, a minimal system), as opposed to a
// logind that said no.
bool NoLogind(const sd_bus_error& e) {
  return sd_bus_error_has_names(&e, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                                SD_BUS_ERROR_UNKNOWN_OBJECT, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                                SD_BUS_ERROR_UNKNOWN_METHOD);
}

}  // namespace
#endif

void CSystemHold::Begin() {
  if (m_bHeld) return;
  m_bHeld = true;
  m_strMissing.clear();
#ifdef ORVEX_HAVE_SDBUS
  sd_bus* bus = nullptr;
  int r = sd_bus_open_system(&bus);
  if (r < 0) {
    Note(std::string("no system bus (") + std::strerror(-r) + "): nothing holds off a suspend or a shutdown");
    return;
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                         "Inhibit", &error, &reply, "ssss", "sleep:shutdown:idle", "orvex-cli", m_strReason.c_str(),
                         "block");
  int fd = -1;
  if (r >= 0) r = sd_bus_message_read(reply, "h", &fd);
  if (r >= 0) {
#ifndef ORVEX_GUARD_OFF_LOGIND_HOLD
    // The reply owns its descriptor and closes it, which would end the
    // lock at once: keep a copy of our own.
    m_nLock = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (m_nLock < 0) Say(std::string("cannot keep logind's inhibitor lock: ") + std::strerror(errno));
#endif
  } else if (!sd_bus_error_is_set(&error)) {
    Note(std::string("no system bus (") + std::strerror(-r) + "): nothing holds off a suspend or a shutdown");
  } else if (NoLogind(error)) {
    Note("no logind on the system bus: nothing holds off a suspend or a shutdown");
  } else {
    Say(std::string("logind gave no inhibitor lock (") + error.message +
        "): keep the machine from suspending or shutting down until the update ends");
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
#else
  Note("built without sd-bus: nothing holds off a suspend or a shutdown");
#endif
}

void CSystemHold::End() {
  if (!m_bHeld) return;
  m_bHeld = false;
  if (m_nLock >= 0) close(m_nLock);
  m_nLock = -1;
}
