#include "sound_player.h"

#include "app_title.h"
#include "util_funcs.h"

#include <canberra.h>

TCanberraSoundPlayer::TCanberraSoundPlayer() {
    if (ca_context_create(&context_) != CA_SUCCESS) {
        context_ = nullptr;
        return;
    }
    ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, AppTitle, nullptr);
}

TCanberraSoundPlayer::~TCanberraSoundPlayer() {
    if (context_) ca_context_destroy(context_);
}

void TCanberraSoundPlayer::PlayFile(const std::string& path) {
    if (!context_ || !FileExists(path)) return;
    ca_context_play(context_, 0, CA_PROP_MEDIA_FILENAME, path.c_str(), CA_PROP_MEDIA_ROLE, "event", nullptr);
}

void TCanberraSoundPlayer::PlayEvent(const std::string& eventId) {
    if (!context_) return;
    ca_context_play(context_, 0, CA_PROP_EVENT_ID, eventId.c_str(), nullptr);
}
