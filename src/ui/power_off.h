#pragma once
// Switches the computer off through systemd-logind, without asking the user.
#include <QDBusConnection>

// Calls org.freedesktop.login1.Manager.PowerOff(false) on the bus (the system
// bus in the application; tests pass a private bus with a fake logind). The
// call is sent without waiting; its result is not examined.
void ShutdownComputer(const QDBusConnection& bus = QDBusConnection::systemBus());
