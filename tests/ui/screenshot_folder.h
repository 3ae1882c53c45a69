#pragma once
// Where the window tests save their pictures, and the check that each one
// was saved and shows something: OV_SCREENSHOT_DIR when set (kept for a
// person to look at; scripts/screenshots.sh), else a temporary folder.
#include "../common/temp_dir.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_map>

class ScreenshotFolder {
public:
    explicit ScreenshotFolder(const QString& sub = {}) {
        const QString chosen = qEnvironmentVariable("OV_SCREENSHOT_DIR");
        path_ = (chosen.isEmpty() ? QString::fromStdString(tmp_.path()) : chosen) + (sub.isEmpty() ? "" : "/" + sub);
        QDir().mkpath(path_);
    }
    QString File(const QString& name) const { return path_ + "/" + name; }

    // Saves the picture, then reads it back: same size, and not one blank
    // area (several colours, none covering nearly all of it).
    void Save(const QImage& picture, const QString& name) const {
        const QString path = File(name);
        EXPECT_TRUE(picture.save(path)) << path.toStdString();
        const QImage saved(path);
        ASSERT_FALSE(saved.isNull()) << path.toStdString() << " was not saved";
        EXPECT_EQ(saved.size(), picture.size()) << path.toStdString();
        EXPECT_GE(saved.width() * saved.height(), 100) << path.toStdString();
        std::unordered_map<QRgb, int> colours;
        int opaque = 0;
        const QImage argb = saved.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y)
            for (int x = 0; x < argb.width(); ++x) {
                const QRgb p = argb.pixel(x, y);
                if (qAlpha(p) == 0) continue;
                ++opaque;
                ++colours[p];
            }
        int most = 0;
        for (const auto& [colour, count] : colours) most = std::max(most, count);
        EXPECT_GE(colours.size(), 8u) << path.toStdString() << " is blank";
        EXPECT_LT(most, opaque * 97 / 100) << path.toStdString() << " is nearly one colour";
    }

private:
    TempDir tmp_;
    QString path_;
};
