#pragma once
// The images of the resource folder "sounds/<ResFolder>/" next to the program.
#include <QImage>
#include <QPixmap>

#include <array>
#include <string>

struct TResourceImages {
    QPixmap TopLogo, LeftLogo, DownloadYouTube, YouTubeConvert;
    QImage Main;                 // the window skin; magenta is transparent
    std::array<QPixmap, 4> Min;  // normal, mouse over, pressed (no disabled image)
    std::array<QPixmap, 4> Close;
    std::array<QPixmap, 4> Bottom;  // normal, mouse over, pressed, disabled
};

// Loads every image of the folder (ending with a separator); on failure the
// error text names the first file that could not be read.
std::string LoadResourceImages(const std::string& folder, TResourceImages& images);
