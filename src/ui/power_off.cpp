#include "power_off.h"

#include <QDBusMessage>

void ShutdownComputer(const QDBusConnection& bus) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "PowerOff");
    call << false;  // interactive: no question to the user
    bus.call(call, QDBus::NoBlock);
}
