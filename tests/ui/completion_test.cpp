// The end-of-run actions on the window's devices: the sound, the countdown
// and the power-off call on a fake logind served on a private bus.
#include "ui_fixture.h"

#include "form_shutdown.h"
#include "power_off.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::string TimeLeft(const TFormShutdown& d) { return d.findChild<QLabel*>("LabelTimeLeft")->text().toStdString(); }

TEST(Countdown, CountsThirtyToZeroAndEndsOnTheNextTick) {
    EnsureApp();
    TFormShutdown dialog;
    EXPECT_EQ(dialog.windowTitle(), "Shutdown");
    EXPECT_EQ(dialog.size(), QSize(234, 149));
    EXPECT_TRUE(dialog.Timer()->isActive());
    EXPECT_EQ(dialog.Timer()->interval(), 1000);
    dialog.Timer()->stop();  // the test ticks by hand
    EXPECT_EQ(TimeLeft(dialog), "Time left: 30");
    dialog.show();
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelDescription")->text().toStdString(),
              "If you don't press cancel now, \nOrvane Video Joiner\nwill shutdown the computer.");
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelWarning")->text(), "Warning!");
    for (int i = 0; i < 30; ++i) dialog.TimerShutdownTimer();
    EXPECT_EQ(TimeLeft(dialog), "Time left: 0");
    EXPECT_TRUE(dialog.isVisible());
    dialog.TimerShutdownTimer();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(Countdown, CancelAndEscapeEndWithCancel) {
    EnsureApp();
    TFormShutdown byButton;
    byButton.Timer()->stop();
    byButton.show();
    for (int i = 0; i < 25; ++i) byButton.TimerShutdownTimer();
    EXPECT_EQ(TimeLeft(byButton), "Time left: 5");
    auto* cancel = byButton.findChild<QPushButton*>("ButtonCancel");
    EXPECT_EQ(cancel->text(), "&Cancel");
    EXPECT_EQ(cancel->size(), QSize(75, 25));
    cancel->click();
    EXPECT_EQ(byButton.result(), QDialog::Rejected);

    TFormShutdown byEscape;
    byEscape.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&byEscape, &escape);
    EXPECT_FALSE(byEscape.isVisible());
    EXPECT_EQ(byEscape.result(), QDialog::Rejected);
}

// logind's manager object on a bus of the test's own.
struct FakeLogind : QDBusVirtualObject {
    std::vector<bool> powerOffs;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != "org.freedesktop.login1.Manager" || message.member() != "PowerOff") return false;
        powerOffs.push_back(message.arguments().value(0).toBool());
        connection.send(message.createReply());
        return true;
    }
};

class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("fake-logind");
        QDBusConnection::disconnectFromBus("client");
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    const QString& Address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

TEST(Completion, SoundCountdownAndPowerOffOnAFakeLogind) {
    AppUnderTest app;
    ASSERT_TRUE(app.Start());
    PrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
    QDBusConnection server = QDBusConnection::connectToBus(bus.Address(), "fake-logind");
    ASSERT_TRUE(server.isConnected());
    FakeLogind logind;
    ASSERT_TRUE(server.registerVirtualObject("/org/freedesktop/login1", &logind));
    ASSERT_TRUE(server.registerService("org.freedesktop.login1"));
    QDBusConnection client = QDBusConnection::connectToBus(bus.Address(), "client");
    app.powerOff = [&client] { ShutdownComputer(client); };

    // Sound by the counts; no countdown without its flag.
    TUserSettings& s = app.settings();
    s.PlayASoundWhenFinished = true;
    CompletionActions(s, 2, 3, app.program.dir(), *app.form);
    CompletionActions(s, 3, 3, app.program.dir(), *app.form);
    s.PlayASoundWhenFinished = false;
    CompletionActions(s, 3, 3, app.program.dir(), *app.form);
    EXPECT_EQ(app.sounds.files,
              (std::vector<std::string>{app.program.dir() + "sounds/fail.wav", app.program.dir() + "sounds/done.wav"}));

    // The countdown cancelled at 5: nothing is switched off.
    s.ShutDownWhenFinished = true;
    std::string seen;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TFormShutdown*>(QApplication::activeModalWidget());
        if (!d) return;
        d->Timer()->stop();
        for (int i = 0; i < 25; ++i) d->TimerShutdownTimer();
        seen = TimeLeft(*d);
        d->findChild<QPushButton*>("ButtonCancel")->click();
    });
    CompletionActions(s, 3, 3, app.program.dir(), *app.form);
    EXPECT_EQ(seen, "Time left: 5");
    EXPECT_EQ(app.powerOffs, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(logind.powerOffs.empty());

    // Left alone, it ends one tick after 0 and asks logind once, without interaction.
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TFormShutdown*>(QApplication::activeModalWidget());
        if (!d) return;
        d->Timer()->stop();
        for (int i = 0; i < 31; ++i) d->TimerShutdownTimer();
    });
    CompletionActions(s, 3, 3, app.program.dir(), *app.form);
    EXPECT_EQ(app.powerOffs, 1);
    ASSERT_TRUE(PumpUntil([&] { return !logind.powerOffs.empty(); }));
    PumpUntil([] { return false; }, 200);  // no second call follows
    EXPECT_EQ(logind.powerOffs, std::vector<bool>{false});
}

// A run that ends while the window is closing (a Cancel still stopping when
// the close button is pressed) plays nothing and switches nothing off.
TEST(Completion, NothingHappensOnceTheWindowHasClosed) {
    AppUnderTest app;
    ASSERT_TRUE(app.Start());
    app.form->show();
    app.form->close();
    app.settings().PlayASoundWhenFinished = true;
    app.settings().ShutDownWhenFinished = true;
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TFormShutdown*>(QApplication::activeModalWidget());
        if (!d) return;
        d->Timer()->stop();
        for (int i = 0; i < 31; ++i) d->TimerShutdownTimer();
    });
    CompletionActions(app.settings(), 1, 1, app.program.dir(), *app.form);
    EXPECT_TRUE(app.sounds.files.empty());
    EXPECT_EQ(app.powerOffs, 0);
}

}  // namespace
