#pragma once
// The trim dialog of one input row: the clip's picture at the current
// position, a slider over its length, steps of one frame and one key frame,
// the start and the end as editable times and the resulting length. Pictures
// are decoded on the user-interface thread, one at a time: slider moves are
// coalesced, and while the slider is dragged only key frames are shown.
#include "convert_list.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class TTrimFrames;

class TFormTrim : public QDialog {
    Q_OBJECT
public:
    // input: the row's file, probed length and current trim.
    explicit TFormTrim(const TJobInput& input, QWidget* parent = nullptr);
    ~TFormTrim() override;

    // The chosen range, -1 for the file's start or its end (what the row keeps).
    int64_t TrimStartUs() const;
    int64_t TrimEndUs() const;
    // The current position: the shown picture's time (sound only: the slider's).
    int64_t Position() const { return position_; }
    bool HasPicture() const { return frames_ != nullptr; }
    // A picture request is waiting to be decoded.
    bool Busy() const { return pendingUs_ >= 0; }

    void StepFrame(int direction);
    void StepKeyFrame(int direction);
    void SetStartHere();
    void SetEndHere();
    void ResetRange();
    // Decodes and shows the picture at or after the time (coalesced).
    void RequestPosition(int64_t us, bool keyFrameOnly = false);

    QSlider* Slider() const { return slider_; }
    QLineEdit* EditStart() const { return editStart_; }
    QLineEdit* EditEnd() const { return editEnd_; }
    QLabel* LabelLength() const { return labelLength_; }
    QLabel* LabelPosition() const { return labelPosition_; }
    QLabel* LabelError() const { return labelError_; }
    QLabel* Picture() const { return picture_; }

public slots:
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildPicture();
    QLayout* BuildSteps();
    QLayout* BuildRange();
    // Left/Right, Shift+Left/Right, I and O; false for any other key.
    bool HandleKey(const QKeyEvent& event);
    void DecodePending();
    void ShowFrame();
    // The position line and the slider.
    void ShowTimes();
    // The two time fields and the length; typed text is replaced only here.
    void ShowRange();
    // The field's time; false (with the reason shown) when it is none.
    bool ReadEdit(QLineEdit* edit, bool isStart, int64_t& us);
    // Both fields become the range; false (with the reason) when they cannot.
    bool CommitEdits();
    bool SetRange(int64_t startUs, int64_t endUs);
    void ShowError(const QString& text);

    TJobInput input_;
    int64_t durationUs_ = 0;
    int64_t startUs_ = 0;
    int64_t endUs_ = 0;
    int64_t position_ = 0;
    int64_t pendingUs_ = -1;
    bool pendingKeyOnly_ = false;
    std::unique_ptr<TTrimFrames> frames_;

    QLabel* picture_;
    QSlider* slider_;
    QLabel* labelPosition_;
    QLineEdit* editStart_;
    QLineEdit* editEnd_;
    QLabel* labelLength_;
    QLabel* labelError_;
    QPushButton *buttonFrameBack_, *buttonFrameOn_, *buttonKeyBack_, *buttonKeyOn_;
};
