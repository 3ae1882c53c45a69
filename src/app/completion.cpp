#include "completion.h"

std::string CompletionSoundFile(const std::string& exeFolder, int succeededFiles, int totalFiles) {
    return exeFolder + (succeededFiles < totalFiles ? "sounds/fail.wav" : "sounds/done.wav");
}

std::string TShutdownCountdown::TimeLeftText() const { return "Time left: " + std::to_string(counter_); }

std::string ShutdownDescription(const std::string& title) {
    return "If you don't press cancel now, \r\n" + title + "\r\nwill shutdown the computer.";
}
