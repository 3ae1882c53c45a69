#include "form_trim.h"

#include "bitmap_image.h"
#include "ff_bitmap.h"
#include "ff_decoder.h"
#include "trims.h"
#include "util_funcs.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <set>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
constexpr int64_t SoundStepUs = 100000;     // a "frame" of a file without pictures
constexpr int64_t SoundKeyStepUs = 1000000;  // and its "key frame"
constexpr QSize PictureSize(480, 270);
}  // namespace

// The pictures of one file, decoded on the caller's thread. Going on from the
// shown picture is cheap; anything else seeks to the key frame before.
class TTrimFrames {
public:
    // False when the file has no picture that decodes.
    bool Open(const std::string& file) {
        return decoder_.LoadFile(file) && decoder_.FirstVideoStream() >= 0 && At(0, false);
    }
    // The first picture at or after the time (the last when past the end);
    // keyOnly: the key frame at or before it.
    bool At(int64_t us, bool keyOnly);
    bool Next();
    bool Previous();
    bool NextKey();
    bool PreviousKey();
    int64_t Pts() const { return pts_; }
    bool Key() const { return key_; }
    const QImage& Image() const { return image_; }

private:
    // Seeks so that the first picture decoded is at or before the time; some
    // demuxers seek by decoding order and land a little late.
    bool SeekBefore(int64_t us);
    bool DecodeOne();
    bool Take();

    TFFDecoder decoder_;
    int64_t pts_ = 0;
    bool key_ = false;
    QImage image_;
    bool inSequence_ = false;  // the decoder's last picture is the shown one
    std::set<int64_t> seen_;   // every picture time decoded so far
};

bool TTrimFrames::SeekBefore(int64_t us) {
    int64_t target = std::max<int64_t>(us, 0);
    for (int attempt = 0;; ++attempt) {
        inSequence_ = false;
        // A file that cannot seek by time is read from its start.
        if (!decoder_.Seek(0, target) && !decoder_.Seek(TFFDecoder::SeekByBytes, 0)) return false;
        if (!DecodeOne()) return false;
        if (decoder_.PicturePTS() <= us || target == 0 || attempt == 3) return true;
        target = std::max<int64_t>(target - (int64_t{1000000} << attempt), 0);
    }
}

bool TTrimFrames::DecodeOne() {
    inSequence_ = false;
    if (!decoder_.Decode(decoder_.FirstVideoStream())) return false;
    seen_.insert(decoder_.PicturePTS());
    return true;
}

bool TTrimFrames::Take() {
    TFFBitmap bitmap;
    if (!decoder_.HasPicture() || !decoder_.CopyToBitmap(bitmap)) return false;
    image_ = ImageFromBitmap(bitmap);
    pts_ = decoder_.PicturePTS();
    key_ = decoder_.PictureKeyFrame();
    inSequence_ = true;
    return true;
}

bool TTrimFrames::At(int64_t us, bool keyOnly) {
    // Up to two seconds ahead, decoding on is cheaper than seeking.
    const bool onward = inSequence_ && us > pts_ && us - pts_ <= 2000000 && !keyOnly;
    if (!onward && !SeekBefore(us)) return false;
    if (!keyOnly)
        while (decoder_.PicturePTS() < us)
            if (!DecodeOne()) break;  // past the end: the last picture
    return Take();
}

bool TTrimFrames::Next() {
    if (!inSequence_ && !At(pts_, false)) return false;
    return DecodeOne() && Take();
}

bool TTrimFrames::Previous() {
    auto before = seen_.lower_bound(pts_);
    // Within a group every picture from its key frame on has been decoded;
    // a key frame's predecessor lies in the group before.
    if (key_ || before == seen_.begin()) {
        if (pts_ <= 0 || !SeekBefore(pts_ - 1)) return false;
        while (decoder_.PicturePTS() < pts_ && DecodeOne()) {
        }
        before = seen_.lower_bound(pts_);
        if (before == seen_.begin()) return false;
    }
    return At(*std::prev(before), false);
}

bool TTrimFrames::NextKey() {
    if (!inSequence_ && !At(pts_, false)) return false;
    const int64_t from = pts_;
    do {
        if (!DecodeOne()) return false;
    } while (!decoder_.PictureKeyFrame() || decoder_.PicturePTS() <= from);
    return Take();
}

bool TTrimFrames::PreviousKey() {
    const int64_t from = pts_;
    if (from <= 0 || !SeekBefore(from - 1)) return false;
    while (!decoder_.PictureKeyFrame() && decoder_.PicturePTS() < from && DecodeOne()) {
    }
    if (decoder_.PicturePTS() >= from) return false;
    return Take();
}

// ---------------------------------------------------------------------------

TFormTrim::TFormTrim(const TJobInput& input, QWidget* parent) : QDialog(parent), input_(input) {
    setObjectName("FormTrim");
    setWindowTitle("Trim " + Q(ExtractFileName(input.FullName)));
    durationUs_ = std::max<int64_t>(input.Duration, 0);
    startUs_ = std::max<int64_t>(input.TrimStartUs, 0);
    endUs_ = input.TrimEndUs;
    if (durationUs_ > 0 && endUs_ >= durationUs_) endUs_ = -1;
    if (input.Width > 0) {
        auto frames = std::make_unique<TTrimFrames>();
        if (frames->Open(input.FullName)) frames_ = std::move(frames);
    }

    auto* main = new QVBoxLayout(this);
    BuildPicture();
    main->addWidget(picture_, 0, Qt::AlignHCenter);
    picture_->setVisible(input.Width > 0);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName("SliderPosition");
    slider_->setAccessibleName("Position");
    slider_->setRange(0, static_cast<int>(durationUs_ / 1000));
    slider_->setEnabled(durationUs_ > 0);
    // A click beside the handle moves a twentieth of the clip.
    slider_->setPageStep(static_cast<int>(std::max<int64_t>(durationUs_ / 20000, 1000)));
    main->addWidget(slider_);
    labelPosition_ = new QLabel(this);
    labelPosition_->setObjectName("LabelPosition");
    main->addWidget(labelPosition_);
    main->addLayout(BuildSteps());
    main->addLayout(BuildRange());
    labelError_ = new QLabel(this);
    labelError_->setObjectName("LabelError");
    labelError_->setStyleSheet("color: #b00000;");
    labelError_->setWordWrap(true);
    labelError_->hide();
    main->addWidget(labelError_);

    auto* bottom = new QHBoxLayout;
    auto* reset = new QPushButton("&Reset", this);
    reset->setObjectName("ButtonReset");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ButtonOK");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("ButtonCancel");
    bottom->addWidget(reset);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    main->addLayout(bottom);
    connect(reset, &QPushButton::clicked, this, &TFormTrim::ResetRange);
    connect(ok, &QPushButton::clicked, this, &TFormTrim::accept);
    connect(cancel, &QPushButton::clicked, this, &TFormTrim::reject);

    connect(slider_, &QSlider::valueChanged, this,
            [this](int ms) { RequestPosition(int64_t{ms} * 1000, slider_->isSliderDown()); });
    connect(slider_, &QSlider::sliderReleased, this,
            [this] { RequestPosition(int64_t{slider_->value()} * 1000, false); });
    // Enter accepts whatever button has the focus; the keys of the picture
    // reach the dialog from every control but the time fields, which type.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->installEventFilter(this);
    }
    ok->setDefault(true);
    slider_->installEventFilter(this);

    ShowRange();
    pendingUs_ = startUs_;
    DecodePending();
    slider_->setFocus();
}

TFormTrim::~TFormTrim() = default;

void TFormTrim::BuildPicture() {
    picture_ = new QLabel(this);
    picture_->setObjectName("ImagePicture");
    picture_->setFixedSize(PictureSize);
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setStyleSheet("background: black; color: white;");
    if (!frames_) picture_->setText("The picture cannot be shown.");
}

QLayout* TFormTrim::BuildSteps() {
    const bool pictures = frames_ != nullptr;
    auto* row = new QHBoxLayout;
    auto button = [this, row](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setToolTip(tip);
        row->addWidget(b);
        return b;
    };
    buttonKeyBack_ = button("ButtonKeyBack", pictures ? "<< Key frame" : "<< 1 s",
                            pictures ? "The key frame before (Shift+Left)" : "One second back (Shift+Left)");
    buttonFrameBack_ = button("ButtonFrameBack", pictures ? "< Frame" : "< 0.1 s",
                              pictures ? "The picture before (Left)" : "A tenth of a second back (Left)");
    buttonFrameOn_ = button("ButtonFrameOn", pictures ? "Frame >" : "0.1 s >",
                            pictures ? "The next picture (Right)" : "A tenth of a second on (Right)");
    buttonKeyOn_ = button("ButtonKeyOn", pictures ? "Key frame >>" : "1 s >>",
                          pictures ? "The next key frame (Shift+Right)" : "One second on (Shift+Right)");
    connect(buttonKeyBack_, &QPushButton::clicked, this, [this] { StepKeyFrame(-1); });
    connect(buttonFrameBack_, &QPushButton::clicked, this, [this] { StepFrame(-1); });
    connect(buttonFrameOn_, &QPushButton::clicked, this, [this] { StepFrame(1); });
    connect(buttonKeyOn_, &QPushButton::clicked, this, [this] { StepKeyFrame(1); });
    return row;
}

QLayout* TFormTrim::BuildRange() {
    auto* grid = new QGridLayout;
    auto* setStart = new QPushButton("Set start", this);
    setStart->setObjectName("ButtonSetStart");
    setStart->setToolTip("The joined part starts with this picture (I)");
    auto* setEnd = new QPushButton("Set end", this);
    setEnd->setObjectName("ButtonSetEnd");
    setEnd->setToolTip("The joined part ends just before this picture (O)");
    editStart_ = new QLineEdit(this);
    editStart_->setObjectName("EditStart");
    editStart_->setAccessibleName("Start");
    editEnd_ = new QLineEdit(this);
    editEnd_->setObjectName("EditEnd");
    editEnd_->setAccessibleName("End");
    for (QLineEdit* e : {editStart_, editEnd_}) {
        e->setToolTip("[h:]mm:ss.fff");
        e->setMaximumWidth(110);
        connect(e, &QLineEdit::editingFinished, this, &TFormTrim::CommitEdits);
    }
    editEnd_->setPlaceholderText("the end");
    labelLength_ = new QLabel(this);
    labelLength_->setObjectName("LabelLength");
    grid->addWidget(setStart, 0, 0);
    grid->addWidget(editStart_, 0, 1);
    grid->addWidget(setEnd, 0, 2);
    grid->addWidget(editEnd_, 0, 3);
    grid->addWidget(labelLength_, 0, 4);
    grid->setColumnStretch(4, 1);
    connect(setStart, &QPushButton::clicked, this, &TFormTrim::SetStartHere);
    connect(setEnd, &QPushButton::clicked, this, &TFormTrim::SetEndHere);
    return grid;
}

int64_t TFormTrim::TrimStartUs() const { return startUs_ > 0 ? startUs_ : -1; }

int64_t TFormTrim::TrimEndUs() const { return endUs_; }

void TFormTrim::RequestPosition(int64_t us, bool keyFrameOnly) {
    us = std::clamp<int64_t>(us, 0, durationUs_);
    const bool scheduled = pendingUs_ >= 0;
    pendingUs_ = us;
    pendingKeyOnly_ = keyFrameOnly;
    // The latest position is decoded once the last one is on screen.
    if (!scheduled) QTimer::singleShot(0, this, &TFormTrim::DecodePending);
}

void TFormTrim::DecodePending() {
    if (pendingUs_ < 0) return;
    const int64_t us = pendingUs_;
    const bool keyOnly = pendingKeyOnly_;
    pendingUs_ = -1;
    position_ = us;
    if (frames_ && frames_->At(us, keyOnly)) {
        if (!keyOnly) position_ = frames_->Pts();
        ShowFrame();
    }
    ShowTimes();
}

void TFormTrim::ShowFrame() {
    const QImage& image = frames_->Image();
    if (image.isNull()) return;
    picture_->setPixmap(QPixmap::fromImage(image.scaled(PictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TFormTrim::ShowTimes() {
    if (!slider_->isSliderDown()) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(static_cast<int>(position_ / 1000));
    }
    QString shown;
    if (frames_ && frames_->Pts() != position_)
        shown = "  (showing the key frame at " + Q(TrimTimeText(frames_->Pts())) + ")";
    else if (frames_ && frames_->Key())
        shown = "  (key frame)";
    labelPosition_->setText("Position: " + Q(TrimTimeText(position_)) + " of " + Q(TrimTimeText(durationUs_)) + shown);
}

void TFormTrim::ShowRange() {
    editStart_->setText(Q(TrimTimeText(startUs_)));
    editEnd_->setText(endUs_ >= 0 ? Q(TrimTimeText(endUs_)) : durationUs_ > 0 ? Q(TrimTimeText(durationUs_)) : "");
    const int64_t end = endUs_ >= 0 ? endUs_ : durationUs_;
    labelLength_->setText(end > 0 ? "Length: " + Q(TrimTimeText(end - startUs_)) : "Length: unknown");
}

void TFormTrim::StepFrame(int direction) {
    DecodePending();
    if (!frames_) {
        position_ = std::clamp<int64_t>(position_ + direction * SoundStepUs, 0, durationUs_);
    } else if (direction > 0 ? frames_->Next() : frames_->Previous()) {
        position_ = frames_->Pts();
        ShowFrame();
    }
    ShowTimes();
}

void TFormTrim::StepKeyFrame(int direction) {
    DecodePending();
    if (!frames_) {
        position_ = std::clamp<int64_t>(position_ + direction * SoundKeyStepUs, 0, durationUs_);
    } else if (direction > 0 ? frames_->NextKey() : frames_->PreviousKey()) {
        position_ = frames_->Pts();
        ShowFrame();
    }
    ShowTimes();
}

void TFormTrim::SetStartHere() {
    DecodePending();
    SetRange(position_, endUs_);
}

void TFormTrim::SetEndHere() {
    DecodePending();
    SetRange(startUs_, position_);
}

void TFormTrim::ResetRange() { SetRange(0, -1); }

bool TFormTrim::SetRange(int64_t startUs, int64_t endUs) {
    if (durationUs_ > 0 && endUs >= durationUs_) endUs = -1;
    if (durationUs_ > 0 && startUs >= durationUs_) {
        ShowError("The start must be before the file's end (" + Q(TrimTimeText(durationUs_)) + ").");
        return false;
    }
    if (endUs >= 0 && endUs <= startUs) {
        ShowError("The start must be before the end.");
        return false;
    }
    startUs_ = std::max<int64_t>(startUs, 0);
    endUs_ = endUs;
    ShowError({});
    ShowRange();
    return true;
}

bool TFormTrim::ReadEdit(QLineEdit* edit, bool isStart, int64_t& us) {
    const std::string text = edit->text().trimmed().toStdString();
    us = isStart ? 0 : -1;  // an empty field: the file's start or end
    if (text.empty() || ParseTrimTime(text, us)) return true;
    ShowError("'" + Q(text) + "' is no time: write [h:]mm:ss.fff, for example 01:30.500.");
    edit->setFocus();
    return false;
}

bool TFormTrim::CommitEdits() {
    int64_t start = 0, end = -1;
    return ReadEdit(editStart_, true, start) && ReadEdit(editEnd_, false, end) && SetRange(start, end);
}

void TFormTrim::ShowError(const QString& text) {
    labelError_->setText(text);
    labelError_->setVisible(!text.isEmpty());
}

void TFormTrim::accept() {
    // A time typed but not yet taken is taken now; a wrong one keeps the
    // dialog open with its reason.
    if (!CommitEdits()) return;
    QDialog::accept();
}

bool TFormTrim::HandleKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const bool shift = modifiers == Qt::ShiftModifier;
    if (modifiers != Qt::NoModifier && !shift) return false;
    switch (event.key()) {
        case Qt::Key_Left: shift ? StepKeyFrame(-1) : StepFrame(-1); return true;
        case Qt::Key_Right: shift ? StepKeyFrame(1) : StepFrame(1); return true;
        case Qt::Key_I:
            if (shift) return false;
            SetStartHere();
            return true;
        case Qt::Key_O:
            if (shift) return false;
            SetEndHere();
            return true;
        default: return false;
    }
}

void TFormTrim::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(*event)) QDialog::keyPressEvent(event);
}

bool TFormTrim::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && HandleKey(*static_cast<QKeyEvent*>(event))) return true;
    return QDialog::eventFilter(watched, event);
}
