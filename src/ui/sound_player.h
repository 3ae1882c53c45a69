#pragma once
// Sounds: a wave file or a themed event sound, played in the background.
#include <string>

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Starts playing the file and returns at once; a missing or unplayable
    // file plays nothing and reports nothing.
    virtual void PlayFile(const std::string& path) = 0;
    // A sound of the desktop's sound theme ("dialog-question", "bell", ...).
    virtual void PlayEvent(const std::string& eventId) = 0;
};

// libcanberra: asynchronous, through the desktop's sound server.
class TCanberraSoundPlayer final : public ISoundPlayer {
public:
    TCanberraSoundPlayer();
    ~TCanberraSoundPlayer() override;
    TCanberraSoundPlayer(const TCanberraSoundPlayer&) = delete;
    TCanberraSoundPlayer& operator=(const TCanberraSoundPlayer&) = delete;
    void PlayFile(const std::string& path) override;
    void PlayEvent(const std::string& eventId) override;

private:
    struct ca_context* context_ = nullptr;
};
