#pragma once
// The countdown before the computer is switched off: 30 seconds, then OK;
// "&Cancel", Escape or closing ends it with Cancel.
#include "completion.h"

#include <QDialog>

class QLabel;
class QTimer;

class TFormShutdown : public QDialog {
    Q_OBJECT
public:
    explicit TFormShutdown(QWidget* parent = nullptr);
    // One second has passed.
    void TimerShutdownTimer();
    // The one-second timer; tests stop it and tick by hand.
    QTimer* Timer() const { return timer_; }
    int Counter() const { return countdown_.Counter(); }

protected:
    void showEvent(QShowEvent*) override;

private:
    TShutdownCountdown countdown_;
    QTimer* timer_;
    QLabel* description_;
    QLabel* timeLeft_;
};
