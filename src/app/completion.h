#pragma once
// What happens when a conversion run has ended: the sound to play, the
// shutdown countdown's arithmetic and texts, and the actions themselves.
#include <string>

struct TUserSettings;

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

// What the completion actions act on: the window's sound player, countdown
// dialog and power-off; the command line has none of them.
class ICompletionDevices {
public:
    virtual ~ICompletionDevices() = default;
    // Starts a sound file and returns at once.
    virtual void PlaySoundFile(const std::string& path) = 0;
    // Shows the shutdown countdown; true when it ran out (OK), false on Cancel.
    virtual bool ShowShutdownCountdown() = 0;
    virtual void ShutdownComputer() = 0;
};

// The actions at the end of a conversion run, by the user's choices and the
// run's counts: the sound (CompletionSoundFile), then the shutdown countdown
// and, when it runs out, the power-off.
void CompletionActions(const TUserSettings& settings, int succeededFiles, int totalFiles, const std::string& exeFolder,
                       ICompletionDevices& devices);
