#include "completion.h"

#include "user_settings.h"

#include <cstdio>

std::string CompletionSoundFile(const std::string& exeFolder, int succeededFiles, int totalFiles) {
    return exeFolder + (succeededFiles < totalFiles ? "sounds/fail.wav" : "sounds/done.wav");
}

std::string TShutdownCountdown::TimeLeftText() const {
    char text[32];
    std::snprintf(text, sizeof text, "Time left: %d", counter_);
    return text;
}

std::string ShutdownDescription(const std::string& title) {
    return "If you don't press cancel now, \r\n" + title + "\r\nwill shutdown the computer.";
}

void CompletionActions(const TUserSettings& settings, int succeededFiles, int totalFiles, const std::string& exeFolder,
                       ICompletionDevices& devices) {
    if (settings.PlayASoundWhenFinished)
        devices.PlaySoundFile(CompletionSoundFile(exeFolder, succeededFiles, totalFiles));
    if (settings.ShutDownWhenFinished && devices.ShowShutdownCountdown()) devices.ShutdownComputer();
}
