#include "resource_images.h"

namespace {
bool Load(const std::string& folder, const char* name, QImage& image, std::string& error) {
    const std::string path = folder + name;
    if (image.load(QString::fromStdString(path))) return true;
    error = "Cannot open file \"" + path + "\". The file is missing or not a readable image.";
    return false;
}

bool Load(const std::string& folder, const char* name, QPixmap& pixmap, std::string& error) {
    QImage image;
    if (!Load(folder, name, image, error)) return false;
    pixmap = QPixmap::fromImage(image);
    return true;
}
}  // namespace

std::string LoadResourceImages(const std::string& folder, TResourceImages& im) {
    std::string error;
    bool ok = Load(folder, "toplogo.png", im.TopLogo, error) && Load(folder, "leftlogo.png", im.LeftLogo, error) &&
              Load(folder, "downloadyoutube.png", im.DownloadYouTube, error) &&
              Load(folder, "youtubeconvert.png", im.YouTubeConvert, error) && Load(folder, "main.bmp", im.Main, error);
    const char* const minNames[] = {"min_1.bmp", "min_2.bmp", "min_3.bmp"};
    const char* const closeNames[] = {"close_1.bmp", "close_2.bmp", "close_3.bmp"};
    const char* const bottomNames[] = {"bottom_1.bmp", "bottom_2.bmp", "bottom_3.bmp", "bottom_4.bmp"};
    for (int i = 0; ok && i < 3; ++i)
        ok = Load(folder, minNames[i], im.Min[i], error) && Load(folder, closeNames[i], im.Close[i], error);
    for (int i = 0; ok && i < 4; ++i) ok = Load(folder, bottomNames[i], im.Bottom[i], error);
    // One pixel format whatever the bitmap's depth, so the transparent colour
    // compares as plain RGB.
    if (ok) im.Main = im.Main.convertToFormat(QImage::Format_RGB32);
    return ok ? std::string() : error;
}
