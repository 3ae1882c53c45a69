#include "form_youtube_hq.h"

#include "page_helpers.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

TFormYouTubeHQ::TFormYouTubeHQ(QWidget* parent) : QDialog(parent) {
    setObjectName("FormYouTubeHQ");
    setWindowTitle("Prefer YouTube high quality");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Wider than the classic 466 so the audio texts show whole in the fonts here.
    setFixedSize(536, 198);

    ListViewYouTubeHQ = Place(new QTreeWidget(this), "ListViewYouTubeHQ", QRect(8, 8, 412, 182));
    ListViewYouTubeHQ->setHeaderLabels({"Type", "Format", "Video", "Audio"});
    for (int c = 0; c < 4; ++c) ListViewYouTubeHQ->setColumnWidth(c, 80);
    // The audio texts are the longest: the last column takes the room left.
    ListViewYouTubeHQ->header()->setStretchLastSection(true);
    ListViewYouTubeHQ->setRootIsDecorated(false);
    ListViewYouTubeHQ->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewYouTubeHQ->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewYouTubeHQ->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewYouTubeHQ->header()->setSectionsMovable(false);

    auto button = [this](const char* name, const char* text, int y) {
        return Place(new QPushButton(text, this), name, QRect(428, y, 100, 27));
    };
    ButtonUp = button("ButtonUp", "&Up", 8);
    ButtonDown = button("ButtonDown", "&Down", 39);
    ButtonBestAvailable = button("ButtonBestAvailable", "&Best Available", 70);
    ButtonDefault = button("ButtonDefault", "&Default", 101);
    ButtonOK = button("ButtonOK", "&OK", 132);
    ButtonCancel = button("ButtonCancel", "&Cancel", 163);
    ButtonOK->setDefault(true);
    // Only OK takes Enter; the other buttons act when clicked.
    for (QPushButton* b : {ButtonUp, ButtonDown, ButtonBestAvailable, ButtonDefault, ButtonCancel})
        b->setAutoDefault(false);

    connect(ButtonUp, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonUpClick);
    connect(ButtonDown, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonDownClick);
    connect(ButtonBestAvailable, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonBestAvailableClick);
    connect(ButtonDefault, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonDefaultClick);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormYouTubeHQ::FillList(const TQualityOrder& order) {
    ListViewYouTubeHQ->clear();
    for (uint8_t code : QualityRowsOf(order)) {
        const TQualityInfo* q = QualityOf(code);
        auto* item = new QTreeWidgetItem(QStringList{q->ShortName, q->Format, q->Video, q->Audio});
        item->setData(0, Qt::UserRole, code);
        ListViewYouTubeHQ->addTopLevelItem(item);
    }
}

TQualityOrder TFormYouTubeHQ::TakeOrder() const {
    std::vector<std::string> captions;
    for (int i = 0; i < ListViewYouTubeHQ->topLevelItemCount(); ++i)
        captions.push_back(ListViewYouTubeHQ->topLevelItem(i)->text(0).toStdString());
    return QualityOrderFromCaptions(captions);
}

void TFormYouTubeHQ::MoveSelected(int delta) {
    QTreeWidgetItem* selected = ListViewYouTubeHQ->selectedItems().value(0);
    const int index = selected ? ListViewYouTubeHQ->indexOfTopLevelItem(selected) : -1;
    std::vector<uint8_t> rows;
    for (int i = 0; i < ListViewYouTubeHQ->topLevelItemCount(); ++i)
        rows.push_back(static_cast<uint8_t>(ListViewYouTubeHQ->topLevelItem(i)->data(0, Qt::UserRole).toUInt()));
    const int moved = MoveQualityRow(rows, index, delta);
    if (moved >= 0) {
        QTreeWidgetItem* item = ListViewYouTubeHQ->takeTopLevelItem(index);
        ListViewYouTubeHQ->insertTopLevelItem(moved, item);
        ListViewYouTubeHQ->setCurrentItem(item);
        item->setSelected(true);
        ListViewYouTubeHQ->scrollToItem(item);
    }
    ListViewYouTubeHQ->setFocus();
}

void TFormYouTubeHQ::ButtonUpClick() { MoveSelected(-1); }

void TFormYouTubeHQ::ButtonDownClick() { MoveSelected(+1); }

void TFormYouTubeHQ::ButtonBestAvailableClick() { FillList(BestAvailableQualityOrder); }

void TFormYouTubeHQ::ButtonDefaultClick() { FillList(DefaultQualityOrder); }

bool EditQualityOrder(QWidget* owner, TQualityOrder& order) {
    TFormYouTubeHQ dialog(owner);
    dialog.FillList(order);
    if (owner) {
        const QRect o = owner->frameGeometry();
        dialog.move(o.left() + (o.width() - dialog.width()) / 2, o.top() + (o.height() - dialog.height()) / 2);
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    order = dialog.TakeOrder();
    return true;
}
