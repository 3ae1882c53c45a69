#pragma once
// What happens when a conversion run has ended: the sound to play and the
// shutdown countdown's arithmetic and texts.
#include <string>

// "sounds/fail.wav" when a file failed, else "sounds/done.wav", in the given
// executable folder (which ends with a separator).
std::string CompletionSoundFile(const std::string& exeFolder, int succeededFiles, int totalFiles);

// The countdown of the shutdown dialog: 30, 29, ... 0 shown, and the tick
// after 0 ends it.
class TShutdownCountdown {
public:
    static constexpr int StartSeconds = 30;
    // One timer tick; true when the countdown has run out.
    bool Tick() { return --counter_ < 0; }
    int Counter() const { return counter_; }
    std::string TimeLeftText() const;

private:
    int counter_ = StartSeconds;
};

// The dialog's description, three lines: the warning, the title, the closing words.
std::string ShutdownDescription(const std::string& title);
