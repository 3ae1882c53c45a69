#include "single_instance.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusMessage>

namespace {
constexpr char kPath[] = "/";
// A second start waits this long for the window's answer before it opens a
// window of its own.
constexpr int kReplyTimeoutMs = 10000;
}  // namespace

TSingleInstance::TSingleInstance(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {}

TSingleInstance::~TSingleInstance() {
    if (!claimed_) return;
    bus_.unregisterObject(kPath);
    bus_.unregisterService(SingleInstanceService);
}

bool TSingleInstance::Claim() {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        SingleInstanceService, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) return false;
    claimed_ = bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
    if (!claimed_) bus_.unregisterService(SingleInstanceService);
    return claimed_;
}

QString TSingleInstance::Open(const QStringList& files) {
    if (!OnFiles) return "starting";
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    return QString::fromStdString(OnFiles(paths));
}

bool HandToRunningInstance(const QDBusConnection& bus, const std::vector<std::string>& files, std::string* answer) {
    if (!bus.isConnected()) return false;
    QStringList list;
    for (const std::string& f : files) list << QString::fromStdString(f);
    QDBusMessage call =
        QDBusMessage::createMethodCall(SingleInstanceService, kPath, SingleInstanceService, "Open");
    call << list;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kReplyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    const QString text = reply.arguments().first().toString();
    if (answer) *answer = text.toStdString();
    return text != "starting";
}
