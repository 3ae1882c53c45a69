#include "page_step1.h"

#include "app_title.h"
#include "bitmap_image.h"
#include "desktop_services.h"
#include "form_failed_add_file.h"
#include "form_trim.h"
#include "input_list_model.h"
#include "input_row.h"
#include "input_selection.h"
#include "input_slides.h"
#include "media_files.h"
#include "product_config.h"
#include "page_helpers.h"
#include "settings.h"
#include "util_funcs.h"
#include "wizard_pages.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

// A dialog pattern list "*.AVI;*.MP4;" as a Qt name filter. Names on this
// platform are case-sensitive, so each pattern also comes in lower case; "*.*"
// would leave out names without a dot, so all files are "*".
QString NameFilter(const TFileFilter& f) {
    QStringList patterns;
    for (const std::string& p : SplitText(f.Patterns, ";")) {
        if (p.empty()) continue;
        if (p == "*.*") {
            patterns << "*";
            continue;
        }
        patterns << Q(p);
        if (Q(p).toLower() != Q(p)) patterns << Q(p).toLower();
    }
    return Q(f.Display) + " (" + patterns.join(' ') + ")";
}
}  // namespace

TPageStep1::TPageStep1(QWidget* parent) : QWidget(parent) {
    BuildGrid();
    BuildActions();
    // The enabled states follow every change of the rows and the selection.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, &TPageStep1::ActionListUpdate);
    connect(model_, &QAbstractItemModel::rowsMoved, this, &TPageStep1::ActionListUpdate);
    connect(model_, &QAbstractItemModel::modelReset, this, &TPageStep1::ActionListUpdate);
    connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TPageStep1::ActionListUpdate);
    ActionListUpdate();

    ExecOpenDialog = [](QFileDialog& dialog) {
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList{};
    };
    ExecFailedDialog = [](TFormFailedAddFile& dialog) { dialog.exec(); };
    ExecTrimDialog = [](TFormTrim& dialog) { return dialog.exec() == QDialog::Accepted; };
}

void TPageStep1::BuildGrid() {
    model_ = new TInputListModel(this);
    model_->setObjectName("InputList");
    grid_ = Place(new QTableView(this), "NextGrid", QRect(8, 8, 420, 409));
    grid_->setModel(model_);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(SlideRowHeight);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the buttons beside it; arrows move in it.
    grid_->setTabKeyNavigation(false);
    grid_->setAccessibleName("Files to join");
    grid_->setAccessibleDescription("In joining order; Ctrl+Up and Ctrl+Down move the selected file, Delete removes it");
    grid_->setShowGrid(false);
    grid_->setWordWrap(false);
    grid_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid_->verticalScrollBar()->setSingleStep(SlideRowHeight / 3);
    // One slide per row: the first column spans the grid and draws the
    // other columns' texts.
    for (int c = icFileMinName; c < InputColumnCount; ++c) grid_->setColumnHidden(c, true);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setItemDelegate(new TInputSlideDelegate(grid_));
    grid_->viewport()->installEventFilter(this);
    grid_->setMouseTracking(false);

    dropIndicator_ = new QFrame(grid_->viewport());
    dropIndicator_->setObjectName("DropIndicator");
    dropIndicator_->setFrameShape(QFrame::HLine);
    dropIndicator_->setStyleSheet("background: #2f6fd0; border: none;");
    dropIndicator_->hide();
}

void TPageStep1::BuildActions() {
    auto action = [this](const char* name, const char* text, const QKeySequence& key) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    ActionAdd = action("ActionAdd", "&Add File(s)...", QKeySequence(Qt::CTRL | Qt::Key_O));
    ActionDelete = action("ActionDelete", "&Delete", QKeySequence(Qt::Key_Delete));
    ActionClear = action("ActionClear", "&Clear", QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    ActionMoveUp = action("ActionMoveUp", "&Move Up", QKeySequence(Qt::CTRL | Qt::Key_Up));
    ActionMoveDown = action("ActionMoveDown", "M&ove Down", QKeySequence(Qt::CTRL | Qt::Key_Down));
    ActionPlay = action("ActionPlay", "&Play", QKeySequence(Qt::CTRL | Qt::Key_P));
    ActionTrim = action("ActionTrim", "&Trim...", QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(ActionAdd, &QAction::triggered, this, &TPageStep1::ActionAddExecute);
    connect(ActionDelete, &QAction::triggered, this, &TPageStep1::ActionDeleteExecute);
    connect(ActionClear, &QAction::triggered, this, &TPageStep1::ActionClearExecute);
    connect(ActionMoveUp, &QAction::triggered, this, &TPageStep1::ActionMoveUpExecute);
    connect(ActionMoveDown, &QAction::triggered, this, &TPageStep1::ActionMoveDownExecute);
    connect(ActionPlay, &QAction::triggered, this, &TPageStep1::ActionPlayExecute);
    connect(ActionTrim, &QAction::triggered, this, &TPageStep1::ActionTrimExecute);

    auto button = [this](QAction* a, const char* name, int y) {
        auto* b = Place(new QPushButton(a->text(), this), name, QRect(436, y, 101, 27));
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
        return b;
    };
    button(ActionAdd, "ButtonAdd", 8);
    button(ActionDelete, "ButtonDelete", 42);
    button(ActionClear, "ButtonClear", 76);
    button(ActionMoveUp, "ButtonMoveUp", 124);
    button(ActionMoveDown, "ButtonMoveDown", 158);
    button(ActionTrim, "ButtonTrim", 206);
    button(ActionPlay, "ButtonPlay", 390);

    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenuInput");
    popup_->addActions({ActionAdd, ActionDelete, ActionClear});
    popup_->addSeparator();
    popup_->addActions({ActionMoveUp, ActionMoveDown});
    popup_->addSeparator();
    popup_->addActions({ActionTrim, ActionPlay});
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(grid_->viewport()->mapToGlobal(pos)); });
    connect(grid_, &QAbstractItemView::doubleClicked, this, [this] { ActionTrimExecute(); });
}

TPageStep1::~TPageStep1() {
    // The grid and the list go after this page's part.
    model_->disconnect(this);
    grid_->selectionModel()->disconnect(this);
}

void TPageStep1::Attach(const TProductConfig& config, TUserSettings& settings, IDesktopServices& services,
                        ILogSink* log, TFFDecoder& probe, IDispatcher* dispatcher) {
    config_ = &config;
    settings_ = &settings;
    services_ = &services;
    batch_ = std::make_unique<TAddFilesBatch>(probe, *this, log, dispatcher, dispatcher ? ProbeWorkers() : 1);
}

int TPageStep1::RowCount() const { return model_->Count(); }

void TPageStep1::ClearList() {
    AbortAdding();
    model_->Clear();
}

void TPageStep1::AbortAdding() {
    if (batch_) batch_->Abort();
}

int TPageStep1::SelectedRow() const {
    const QModelIndexList selected = grid_->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TPageStep1::SelectRow(int row) {
    if (row < 0 || row >= model_->Count()) {
        grid_->clearSelection();
        return;
    }
    grid_->selectRow(row);
    grid_->scrollTo(model_->index(row, icMainImage));
}

std::vector<TJobInput> TPageStep1::JobInputs() const { return model_->JobInputs(); }

QFileDialog* TPageStep1::OpenDialog() {
    if (!openDialog_) {
        openDialog_ = new QFileDialog(window());
        openDialog_->setObjectName("OpenDialog");
        openDialog_->setFileMode(QFileDialog::ExistingFiles);
        openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
        openDialog_->setOption(QFileDialog::HideNameFilterDetails);
        openDialog_->setSizeGripEnabled(true);
        QStringList filters;
        for (const TFileFilter& f : OpenDialogFilters()) filters << NameFilter(f);
        openDialog_->setNameFilters(filters);
    }
    return openDialog_;
}

void TPageStep1::ActionAddExecute() {
    if (!batch_) return;
    QFileDialog* dialog = OpenDialog();
    dialog->setDirectory(Q(DialogStartFolder(settings_->LastOpenDir, {})));
    const QStringList chosen = ExecOpenDialog(*dialog);
    if (chosen.isEmpty()) return;
    std::vector<std::string> files;
    for (const QString& f : chosen) files.push_back(f.toStdString());
    AddFiles(files);
    // Several files: the dialog forgets the chosen names. Qt's dialog cannot
    // unselect, so the next Add gets a fresh one.
    if (files.size() > 1) {
        delete openDialog_;
        openDialog_ = nullptr;
    }
    settings_->LastOpenDir = IncludeTrailingSeparator(ExtractFilePath(files.front()));
}

void TPageStep1::WMDropFiles(const std::vector<std::string>& paths) {
    // Every dropped file is tried, whatever its extension: the probe decides,
    // and one it cannot read is named in the failed-files dialog.
    std::vector<std::string> files;
    for (const std::string& p : paths)
        if (!DirectoryExists(p)) files.push_back(p);
    AddFiles(files);
}

void TPageStep1::AddFiles(const std::vector<std::string>& paths) {
    if (!batch_ || paths.empty()) return;
    if (batch_->Busy()) {
        batch_->AddFiles(paths);  // joins the running batch
        return;
    }
    // The rows come in as their probes finish; a batch that takes a while
    // shows how far it is, and its Cancel stops it. The dialog is modal to
    // the window, which paints on but takes no other input meanwhile.
    services_->BeginWaitCursor();
    QProgressDialog progress(QStringLiteral("Adding files..."), QStringLiteral("Cancel"), 0,
                             static_cast<int>(paths.size()), window());
    progress.setObjectName("AddingFiles");
    progress.setWindowTitle(Q(AppTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    connect(&progress, &QProgressDialog::canceled, this, [this] { batch_->Abort(); });
    struct EndWait {
        IDesktopServices* s;
        ~EndWait() { s->EndWaitCursor(); }
    } endWait{services_};
    batch_->AddFiles(paths, [&] {
        progress.setMaximum(batch_->Total());
        progress.setLabelText(QStringLiteral("Adding files... %1 of %2").arg(batch_->Done()).arg(batch_->Total()));
        progress.setValue(batch_->Done());
        // Without a dispatcher nothing else keeps the window painting.
        if (!batch_->Threaded()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

void TPageStep1::AppendInputRow(const TProbedFile& file) {
    TInputSlide slide;
    slide.Row = file.Row;
    if (file.Thumbnail == tkAudioIcon)
        slide.Thumbnail = AudioIcon();
    else if (file.Thumbnail == tkPicture)
        slide.Thumbnail = ThumbnailFromPicture(ImageFromBitmap(file.Picture));
    QFont bold = grid_->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    slide.MinName = Q(ShortenPath(file.Row.FullName, SlideNameWidth, [&metrics](std::string_view text) {
        return metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }));
    model_->Append(std::move(slide));
}

void TPageStep1::ShowFailedFiles(const std::vector<std::string>& errors) {
    TFormFailedAddFile dialog(errors, HelpTarget, *services_, window());
    const QWidget* main = window();
    dialog.move(main->x() + (main->height() - dialog.height()) / 2 * 0 + (main->width() - dialog.width()) / 2,
                main->y() + (main->height() - dialog.height()) / 2);
    // The dialog is no busy work: the normal cursor while it is open.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    ExecFailedDialog(dialog);
    QApplication::restoreOverrideCursor();
}

void TPageStep1::ActionDeleteExecute() {
    const int row = SelectedRow();
    if (row < 0) return;
    const int count = model_->Count();
    model_->Remove(row);
    SelectRow(SelectionAfterDelete(count, row));
}

void TPageStep1::ActionClearExecute() { ClearList(); }

void TPageStep1::ActionMoveUpExecute() {
    const int target = MoveUpTarget(model_->Count(), SelectedRow());
    if (target >= 0) MoveRow(SelectedRow(), target);
}

void TPageStep1::ActionMoveDownExecute() {
    const int target = MoveDownTarget(model_->Count(), SelectedRow());
    if (target >= 0) MoveRow(SelectedRow(), target);
}

void TPageStep1::MoveRow(int from, int to) {
    const int count = model_->Count();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
    model_->Move(from, to);
    SelectRow(to);
}

void TPageStep1::ActionPlayExecute() {
    const int row = SelectedRow();
    if (row < 0 || !services_) return;
    services_->OpenDocument(model_->Row(row).FullName);
}

void TPageStep1::ActionTrimExecute() {
    const int row = SelectedRow();
    if (row < 0) return;
    TFormTrim dialog(model_->Row(row).JobInput(), window());
    if (!ExecTrimDialog(dialog)) return;
    model_->SetTrim(row, dialog.TrimStartUs(), dialog.TrimEndUs());
}

void TPageStep1::NextGridAfterRowMove() { grid_->viewport()->update(); }

void TPageStep1::ActionListUpdate() {
    const TInputActionStates s = InputActionStates(model_->Count(), SelectedRow());
    ActionDelete->setEnabled(s.Delete);
    ActionClear->setEnabled(s.Clear);
    ActionMoveUp->setEnabled(s.MoveUp);
    ActionMoveDown->setEnabled(s.MoveDown);
    ActionPlay->setEnabled(s.Play);
    ActionTrim->setEnabled(s.Play);
}

int TPageStep1::DropTarget(int y) const {
    const int row = grid_->rowAt(y);
    if (row >= 0) return row;
    return y < 0 ? 0 : model_->Count() - 1;
}

void TPageStep1::ShowDropIndicator(int target) {
    if (target < 0 || target == dragFrom_) {
        dropIndicator_->hide();
        return;
    }
    const QRect r = grid_->visualRect(model_->index(target, icMainImage));
    // The row lands above its target when moving up, below it when moving down.
    const int y = target < dragFrom_ ? r.top() : r.bottom();
    dropIndicator_->setGeometry(0, y - 1, grid_->viewport()->width(), 3);
    dropIndicator_->show();
    dropIndicator_->raise();
}

bool TPageStep1::eventFilter(QObject* watched, QEvent* event) {
    if (watched != grid_->viewport()) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            dragging_ = false;
            dragFrom_ = e->button() == Qt::LeftButton ? grid_->rowAt(e->position().toPoint().y()) : -1;
            pressPos_ = e->position().toPoint();
            break;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (dragFrom_ < 0 || !(e->buttons() & Qt::LeftButton)) break;
            const QPoint pos = e->position().toPoint();
            if (!dragging_ && (pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) break;
            if (!dragging_) {
                dragging_ = true;
                grid_->viewport()->setCursor(Qt::DragMoveCursor);
            }
            // Near the edges the list scrolls along.
            QScrollBar* bar = grid_->verticalScrollBar();
            if (pos.y() < 12) bar->setValue(bar->value() - bar->singleStep());
            if (pos.y() > grid_->viewport()->height() - 12) bar->setValue(bar->value() + bar->singleStep());
            ShowDropIndicator(DropTarget(pos.y()));
            return true;  // the selection stays on the dragged row
        }
        case QEvent::MouseButtonRelease: {
            if (!dragging_) {
                dragFrom_ = -1;
                break;
            }
            auto* e = static_cast<QMouseEvent*>(event);
            const int from = dragFrom_;
            dragging_ = false;
            dragFrom_ = -1;
            dropIndicator_->hide();
            grid_->viewport()->unsetCursor();
            const int to = DropTarget(e->position().toPoint().y());
            if (to >= 0 && to != from) {
                MoveRow(from, to);
                NextGridAfterRowMove();
            }
            return true;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}
