#include "quality.h"

#include <algorithm>
#include <cstdio>

namespace {
// The dialog texts of codes 0, 6 and 7 are kept as the product has always
// shown them ("480 x 36", the stray ")").
constexpr TQualityInfo kQualities[QualityCodeCount] = {
    {"[HQ6]", 6, ".flv", "FLV", "480 x 36", "Mono 44KHz MP3", "[HQ6] - (FLV, 480 x 360, Mono 44KHz MP3)"},
    {"[HQ18]", 18, ".mp4", "MP4(H.264)", "640 x 360", "Stereo 44KHz AAC",
     "[HQ18] - (MP4(H.264), 640 x 360, Stereo 44KHz AAC)"},
    {"[HQ35]", 35, ".flv", "FLV", "854 x 480", "Stereo 44KHz AAC", "[HQ35] - (FLV, 854 x 480, Stereo 44KHz AAC)"},
    {"[HQ22]", 22, ".mp4", "MP4(H.264)", "1280x720", "Stereo 44KHz AAC",
     "[HQ22] - (MP4(H.264), 1280 x 720, Stereo 44KHz AAC)"},
    {"[HQ13]", 13, ".3gp", "3GP", "176x144", "Stereo 8KHz", "[HQ13] - (3GP, 176 x 144, Stereo 8KHz)"},
    {"[HQ17]", 17, ".3gp", "3GP", "176x144", "Stereo 44KHz AAC", "[HQ17] - (3GP, 176 x 144, Stereo 44KHz AAC)"},
    {"[HQ34]", 34, ".flv", "FLV", "640 x 360", "Stereo 44KHz AAC)", "[HQ34] - (FLV, 640 x 360, Stereo 44KHz AAC)"},
    {"[HQ37]", 37, ".mp4", "MP4(H.264)", "1920x1080", "Stereo 44KHz AAC)",
     "[HQ37] - (MP4(H.264), 1920 x 1080, Stereo 44KHz AAC)"},
};

const TQualityInfo* AttemptQuality(int attempt, const TQualityOrder& order) {
    if (attempt < 1 || attempt > QualityCodeCount) return nullptr;
    return QualityOf(order[attempt - 1]);
}
}  // namespace

const TQualityInfo* QualityOf(unsigned code) { return code < QualityCodeCount ? &kQualities[code] : nullptr; }

std::string QualityShortName(unsigned code) {
    const TQualityInfo* q = QualityOf(code);
    return q ? q->ShortName : "";
}

std::string PreferenceText(bool prefer, const TQualityOrder& order) {
    if (!prefer) return DefaultQualityLongText;
    std::string text = "Prefer: ";
    for (int i = 0; i < QualityCodeCount; ++i) {
        if (i > 0) text += " > ";
        text += QualityShortName(order[i]);
    }
    return text;
}

int AttemptItag(int attempt, const TQualityOrder& order) {
    if (attempt == 0) return DefaultQualityItag;
    const TQualityInfo* q = AttemptQuality(attempt, order);
    return q ? q->Itag : 0;
}

std::string AttemptLongText(int attempt, const TQualityOrder& order) {
    if (attempt == 0) return DefaultQualityLongText;
    const TQualityInfo* q = AttemptQuality(attempt, order);
    return q ? q->LongText : "";
}

std::string AttemptExtension(int attempt, const TQualityOrder& order) {
    const TQualityInfo* q = AttemptQuality(attempt, order);
    return q ? q->Extension : DefaultQualityExtension;
}

std::string AttemptShortName(int attempt, const TQualityOrder& order) {
    const TQualityInfo* q = AttemptQuality(attempt, order);
    return q ? q->ShortName : "";
}

std::vector<uint8_t> QualityRowsOf(const TQualityOrder& order) {
    std::vector<uint8_t> rows;
    for (uint8_t code : order)
        if (QualityOf(code)) rows.push_back(code);
    return rows;
}

int MoveQualityRow(std::vector<uint8_t>& rows, int index, int delta) {
    const int target = index + delta;
    if (index < 0 || index >= static_cast<int>(rows.size())) return -1;
    if (target < 0 || target >= static_cast<int>(rows.size())) return -1;
    std::swap(rows[index], rows[target]);
    return target;
}

TQualityOrder QualityOrderFromCaptions(const std::vector<std::string>& captions) {
    TQualityOrder order{};
    const size_t taken = std::min<size_t>(captions.size(), QualityCodeCount);
    for (size_t k = 0; k < taken; ++k) {
        order[k] = 0;
        for (unsigned code = 0; code < QualityCodeCount; ++code)
            if (captions[k] == kQualities[code].ShortName) order[k] = static_cast<uint8_t>(code);
    }
    size_t k = taken;
    for (unsigned code = 0; code < QualityCodeCount && k < QualityCodeCount; ++code)
        if (std::find(order.begin(), order.begin() + taken, code) == order.begin() + taken)
            order[k++] = static_cast<uint8_t>(code);
    return order;
}
