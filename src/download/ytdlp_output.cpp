#include "ytdlp_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {
// A number field of the progress template; "NA" (or anything else that is no
// number) gives the fallback.
double Number(std::string_view field, double fallback) {
    const std::string text(field);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) return fallback;
    return value;
}

int64_t WholeNumber(std::string_view field) {
    const double value = Number(field, 0);
    if (value <= 0) return 0;
    return value >= 9.0e18 ? INT64_MAX : static_cast<int64_t>(std::llround(value));
}

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

bool ParseProgress(std::string_view text, TYtDlpProgress& p) {
    const std::vector<std::string_view> f = Fields(text);
    if (f.size() != 9) return false;
    p.Finished = f[0] == "finished";
    p.DownloadedBytes = WholeNumber(f[1]);
    p.TotalBytes = WholeNumber(f[2]);
    if (p.TotalBytes == 0) p.TotalBytes = WholeNumber(f[3]);
    p.ElapsedSeconds = WholeNumber(f[4]);
    p.SecondsLeft = WholeNumber(f[5]);
    p.BytesPerSecond = Number(f[6], -1);
    p.FragmentIndex = static_cast<int>(std::min<int64_t>(WholeNumber(f[7]), INT32_MAX));
    p.FragmentCount = static_cast<int>(std::min<int64_t>(WholeNumber(f[8]), INT32_MAX));
    return true;
}

std::string StringOf(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int IntOf(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return 0;
    const double value = it->get<double>();
    return value > 0 && value < 1e6 ? static_cast<int>(value) : 0;
}

// yt-dlp numbers the videos of a page ("Title (1)", id "page-1") even when
// the page holds one; only a page of several (a playlist) needs the number.
std::string PageVideoTitle(const nlohmann::json& object, std::string title, const std::string& id) {
    constexpr std::string_view number = " (1)";
    const bool single = object.find("playlist_index") == object.end() || object["playlist_index"].is_null();
    if (single && id.ends_with("-1") && title.size() > number.size() && title.ends_with(number))
        title.resize(title.size() - number.size());
    return title;
}

bool ParseInfo(std::string_view text, TYtDlpInfo& info) {
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object()) return false;
    info.Id = StringOf(object, "id");
    info.Title = PageVideoTitle(object, StringOf(object, "title"), info.Id);
    info.Ext = StringOf(object, "ext");
    info.FormatId = StringOf(object, "format_id");
    info.Width = IntOf(object, "width");
    info.Height = IntOf(object, "height");
    return true;
}

bool ParseFile(std::string_view text, std::string& path) {
    const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded() || !value.is_string()) return false;
    path = value.get<std::string>();
    return !path.empty();
}

void CutAt(std::string& text, std::string_view marker) {
    const size_t at = text.find(marker);
    if (at != std::string::npos) text.resize(at);
}

void Trim(std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(0, start);
    text.erase(text.find_last_not_of(" \t") + 1);
}
}  // namespace

int TYtDlpProgress::Percent() const {
    double part = 0;
    if (TotalBytes > 0)
        part = static_cast<double>(DownloadedBytes) / static_cast<double>(TotalBytes);
    else if (FragmentCount > 0)
        part = static_cast<double>(FragmentIndex) / FragmentCount;
    if (Finished) part = 1;
    return static_cast<int>(std::lround(std::clamp(part, 0.0, 1.0) * 100));
}

TYtDlpLine ParseYtDlpLine(std::string_view line) {
    TYtDlpLine result;
    auto rest = [&](std::string_view marker) { return line.substr(marker.size()); };
    if (line.starts_with(YtDlpProgressMarker)) {
        if (ParseProgress(rest(YtDlpProgressMarker), result.Progress)) result.Kind = TYtDlpLineKind::lkProgress;
    } else if (line.starts_with(YtDlpInfoMarker)) {
        if (ParseInfo(rest(YtDlpInfoMarker), result.Info)) result.Kind = TYtDlpLineKind::lkInfo;
    } else if (line.starts_with(YtDlpFileMarker)) {
        if (ParseFile(rest(YtDlpFileMarker), result.Text)) result.Kind = TYtDlpLineKind::lkFile;
    } else if (line.starts_with("ERROR:")) {
        result.Kind = TYtDlpLineKind::lkError;
        result.Text = PlainYtDlpReason(line);
    }
    return result;
}

std::string PlainYtDlpReason(std::string_view errorLine) {
    std::string text(errorLine);
    if (text.starts_with("ERROR:")) text.erase(0, 6);
    Trim(text);
    // "[generic] page-1: ..." names the extractor and the video.
    if (text.starts_with('[')) {
        const size_t close = text.find("] ");
        if (close != std::string::npos) {
            text.erase(0, close + 2);
            const size_t colon = text.find(": ");
            if (colon != std::string::npos && text.find(' ') > colon) text.erase(0, colon + 2);
        }
    }
    // "<urlopen error [Errno 111] Connection refused>" says "Connection refused".
    for (size_t at; (at = text.find("<urlopen error ")) != std::string::npos;) {
        const size_t end = text.find('>', at);
        if (end != std::string::npos) text.erase(end, 1);
        text.erase(at, 15);
    }
    for (std::string_view tail : {" (caused by ", "; please report this issue", "; Confirm you are on the latest",
                                  " Use --", ". Giving up after"})
        CutAt(text, tail);
    for (size_t at; (at = text.find("[Errno ")) != std::string::npos;) {
        const size_t end = text.find("] ", at);
        if (end == std::string::npos) break;
        text.erase(at, end + 2 - at);
    }
    Trim(text);
    while (!text.empty() && text.back() == '.') text.pop_back();
    return text.empty() ? std::string("yt-dlp gave no reason") : text;
}
