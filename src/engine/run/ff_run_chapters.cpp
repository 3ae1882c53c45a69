// Chapters at the joints of a join: one per input, titled with the input's
// file name without its extension, starting where the input's first frame
// was written. They are added just before the trailer, when every joint's
// place is known; the MP4 muxer writes them with the index then.
#include "ff_output_file.h"
#include "ff_task.h"
#include "ff_task_run.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

std::string Title(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}
}  // namespace

bool TTaskRun::JointChapters() const {
    if (!media_.Join || media_.Outputs.size() != 1) return false;
    const char* format = media_.Outputs[0]->Context->oformat->name;
    return std::strcmp(format, "mp4") == 0 || std::strcmp(format, "mov") == 0 || std::strcmp(format, "ipod") == 0;
}

void TTaskRun::AddJointChapters() {
    AVFormatContext* oc = media_.Outputs[0]->Context.get();
    // Chapters the options asked for stay as they are.
    if (oc->nb_chapters > 0) return;
    std::vector<int64_t> starts;
    for (size_t s = 0; s < slots_.size(); ++s) {
        // The first picture written decides; without pictures the earliest sound.
        int64_t video = AV_NOPTS_VALUE, other = AV_NOPTS_VALUE;
        for (const TStreamLink& link : slots_[s].Links) {
            if (link.FirstUs == AV_NOPTS_VALUE) continue;
            int64_t& into = link.Track->Kind == AVMEDIA_TYPE_VIDEO ? video : other;
            if (into == AV_NOPTS_VALUE || link.FirstUs < into) into = link.FirstUs;
        }
        int64_t start = video != AV_NOPTS_VALUE ? video : other != AV_NOPTS_VALUE ? other : timeline_.StartOf(int(s));
        if (s == 0) start = 0;
        if (!starts.empty()) start = std::max(start, starts.back());
        starts.push_back(start);
    }
    double end = 0;
    for (const auto& track : media_.Outputs[0]->Tracks) end = std::max(end, track->Time());
    const int64_t endUs = std::max(static_cast<int64_t>(end * AV_TIME_BASE), starts.empty() ? 0 : starts.back());
    // The output context takes the list and the chapters over.
    void* grown = FF.av_realloc(oc->chapters, sizeof(AVChapter*) * starts.size());
    if (!grown) return;
    oc->chapters = static_cast<AVChapter**>(grown);
    for (size_t s = 0; s < starts.size(); ++s) {
        auto* chapter = static_cast<AVChapter*>(FF.av_mallocz(sizeof(AVChapter)));
        if (!chapter) return;
        chapter->id = static_cast<int64_t>(s);
        chapter->time_base = MicrosecondBase;
        chapter->start = starts[s];
        chapter->end = s + 1 < starts.size() ? starts[s + 1] : endUs;
        FF.av_dict_set(&chapter->metadata, "title", Title(media_.Inputs[s]->FileName).c_str(), 0);
        oc->chapters[oc->nb_chapters++] = chapter;
    }
}
