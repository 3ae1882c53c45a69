#include "page_step5.h"

#include "page_helpers.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

TPageStep5::TPageStep5(QWidget* parent) : QWidget(parent) {
    auto* input = Place(new QGroupBox(" Input URLs ", this), "GroupBoxInputURLs", QRect(8, 4, 529, 204));
    ListViewInputURL = Place(new QTreeWidget(input), "ListViewInputURL", QRect(10, 22, 509, 106));
    ListViewInputURL->setHeaderLabels({"Videos"});
    ListViewInputURL->setColumnWidth(0, 390);
    ListViewInputURL->header()->hide();
    ListViewInputURL->setRootIsDecorated(false);
    ListViewInputURL->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewInputURL->setEditTriggers(QAbstractItemView::NoEditTriggers);
    EditURLType = Place(new TLinkEdit(input), "EditURLType", QRect(10, 133, 509, 26));
    EditURLType->setPlaceholderText("Type a link and press Enter");
    EditURLType->setAccessibleName("Link to add");

    auto action = [this](const char* name, const char* text, const QKeySequence& key) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        return a;
    };
    ActionURLPaste = action("ActionURLPaste", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V));
    ActionURLRemove = action("ActionURLRemove", "&Remove", {});
    ActionURLEmpty = action("ActionURLEmpty", "&Empty", {});
    ListViewInputURL->addAction(ActionURLPaste);
    // The buttons sit in a row under the list.
    int x = 10;
    for (auto [a, name] : {std::pair{ActionURLPaste, "ButtonURLPaste"}, std::pair{ActionURLRemove, "ButtonURLRemove"},
                           std::pair{ActionURLEmpty, "ButtonURLEmpty"}}) {
        auto* b = Place(new QPushButton(a->text(), input), name, QRect(x, 167, 81, 27));
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
        x += 89;
    }
    ButtonDownloadSettings =
        Place(new QPushButton("Settings...", input), "ButtonDownloadSettings", QRect(438, 167, 81, 27));
    ButtonDownloadSettings->setToolTip("Which yt-dlp downloads links of other sites, and its update");
    popup_ = new QMenu(this);
    popup_->addActions({ActionURLPaste, ActionURLRemove});
    ListViewInputURL->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewInputURL, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(ListViewInputURL->viewport()->mapToGlobal(pos)); });

    auto* setup = Place(new QGroupBox(" Setup ", this), "GroupBoxSetup", QRect(8, 214, 529, 64));
    AddLabel(setup, nullptr, "Output directory:", QRect(10, 29, 110, 18));
    EditURLOutput = Place(new QLineEdit(setup), "EditURLOutput", QRect(122, 25, 308, 26));
    ButtonURLSelect = Place(new QPushButton("Select...", setup), "ButtonURLSelect", QRect(438, 24, 81, 28));

    auto* quality = Place(new QGroupBox(" Quality ", this), "GroupBoxQuality", QRect(8, 284, 529, 84));
    CheckBoxYouTubeQuality =
        Place(new QCheckBox("Prefer YouTube high quality", quality), "CheckBoxYouTubeQuality", QRect(10, 26, 300, 20));
    ButtonYouTubeQualityConfig =
        Place(new QPushButton("Config...", quality), "ButtonYouTubeQualityConfig", QRect(438, 22, 81, 28));
    LabelYouTubeQuality = AddLabel(quality, "LabelYouTubeQuality", "", QRect(10, 54, 509, 20));
    connect(CheckBoxYouTubeQuality, &QCheckBox::toggled, ButtonYouTubeQualityConfig, &QWidget::setEnabled);
}

void TLinkEdit::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !text().trimmed().isEmpty()) {
        emit linkEntered(text().trimmed());
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

int TPageStep5::LinkCount() const { return ListViewInputURL->topLevelItemCount(); }

void TPageStep5::ClearLinks() { ListViewInputURL->clear(); }
