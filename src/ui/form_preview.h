#pragma once
// The preview of a running task: a stay-on-top tool window that shows the
// frames the encoder passes on, with the frame time as its caption. One window
// per task, created on its first frame; once the user closes it, that task's
// later frames are refused until Preview is switched again.
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <set>

struct TFFBitmap;

class TFormPreview : public QWidget {
    Q_OBJECT
public:
    explicit TFormPreview(QWidget* owner);
    void ShowFrame(const QImage& frame, int64_t ptsUs);
    bool ClosedByUser() const { return closedByUser_; }
    const QImage& Frame() const { return frame_; }
    // The how-many-th preview window of the run: each opens a little lower.
    int Cascade = 0;

protected:
    void paintEvent(QPaintEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

private:
    QImage frame_;
    QPoint dragOffset_;
    bool closedByUser_ = false;
    bool placed_ = false;
};

// The window's size for a frame: the frame's own, shrunk (keeping its shape)
// to at most half of the screen's free area.
QSize PreviewWindowSize(const QSize& frame, const QSize& screen);

// "%.2d:%.2d:%.2d.%.3d" of the frame time, "N/A" without one.
QString PreviewCaption(int64_t ptsUs);

class TPreviewWindows {
public:
    explicit TPreviewWindows(QWidget* owner) : owner_(owner) {}
    ~TPreviewWindows();
    TPreviewWindows(const TPreviewWindows&) = delete;
    TPreviewWindows& operator=(const TPreviewWindows&) = delete;

    // A frame of a task, on the user-interface thread. False when refused:
    // the user has closed that task's window.
    bool ShowFrame(int taskIndex, const TFFBitmap& bitmap, int64_t ptsUs);
    // Switching Preview: off destroys every window; either way closed windows
    // stop refusing.
    void PreviewSwitched(bool on);
    // The tasks were freed: their windows and refusals go.
    void CloseAll();

    TFormPreview* Window(int taskIndex) const;
    int Count() const { return static_cast<int>(windows_.size()); }

private:
    QWidget* owner_;
    std::map<int, QPointer<TFormPreview>> windows_;
    std::set<int> refused_;
};
