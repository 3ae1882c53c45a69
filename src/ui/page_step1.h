#pragma once
// Step1: the input files. A grid of slides over the typed input list
// (input_list_model.h), its buttons, context menu and shortcuts; adding
// (dialog, drop, download hand-over), deleting, moving and playing files. The
// probing itself is the input module's TAddFilesBatch.
#include "add_files.h"
#include "convert_list.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TProductConfig;
struct TUserSettings;
class IDesktopServices;
class IDispatcher;
class ILogSink;
class QAction;
class QFileDialog;
class QFrame;
class QMenu;
class QPushButton;
class QTableView;
class TFFDecoder;
class TFormFailedAddFile;
class TFormTrim;
class TInputListModel;

class TPageStep1 : public QWidget, public IInputListTarget {
    Q_OBJECT
public:
    explicit TPageStep1(QWidget* parent = nullptr);
    ~TPageStep1() override;

    // What adding files needs; until attached, nothing can be added. The Add
    // dialog starts in the settings' LastOpenDir and updates it. Files are
    // probed on as many threads as there are cores while the window runs on
    // through dispatcher.
    void Attach(const TProductConfig& config, TUserSettings& settings, IDesktopServices& services, ILogSink* log,
                TFFDecoder& probe, IDispatcher* dispatcher = nullptr);

    int RowCount() const;
    // Empties the input list (Finish, confirmed Back or Cancel).
    void ClearList();
    QTableView* Grid() const { return grid_; }
    TInputListModel* Model() const { return model_; }
    // The selected row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);
    // Every row in order, as the job builder takes it.
    std::vector<TJobInput> JobInputs() const;

    // The handlers.
    void ActionAddExecute();
    void WMDropFiles(const std::vector<std::string>& paths);
    void AddFiles(const std::vector<std::string>& paths);
    void ActionDeleteExecute();
    void ActionClearExecute();
    void ActionMoveUpExecute();
    void ActionMoveDownExecute();
    void ActionPlayExecute();
    // The trim dialog on the selected row; the row keeps what it accepts.
    void ActionTrimExecute();
    void NextGridAfterRowMove();
    void ActionListUpdate();
    // Moves a row so that it ends at index to, keeping it selected.
    void MoveRow(int from, int to);
    // A running batch stops after the files being probed (Cancel, or the
    // window closes).
    void AbortAdding();
    bool Adding() const { return batch_ && batch_->Busy(); }

    // The file-open dialog, kept between uses so it remembers its file name.
    QFileDialog* OpenDialog();
    // How the dialogs are run; tests answer them. The open dialog's runner
    // returns the chosen files (empty on Cancel).
    std::function<QStringList(QFileDialog&)> ExecOpenDialog;
    std::function<void(TFormFailedAddFile&)> ExecFailedDialog;
    // True when the trim dialog was accepted.
    std::function<bool(TFormTrim&)> ExecTrimDialog;
    // What the failed-files dialog's "More Information..." opens: the help
    // at its part on adding files.
    std::string HelpTarget;

    // IInputListTarget.
    void AppendInputRow(const TProbedFile& file) override;
    void ShowFailedFiles(const std::vector<std::string>& errors) override;

    QAction *ActionAdd, *ActionDelete, *ActionClear, *ActionMoveUp, *ActionMoveDown, *ActionPlay, *ActionTrim;

protected:
    // Dragging a row to a new place.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The constructor's parts: the grid of slides with its drop indicator;
    // the actions with their buttons and context menu.
    void BuildGrid();
    void BuildActions();
    int DropTarget(int y) const;
    void ShowDropIndicator(int target);

    TInputListModel* model_;
    QTableView* grid_;
    QMenu* popup_;
    QFrame* dropIndicator_;
    QFileDialog* openDialog_ = nullptr;
    const TProductConfig* config_ = nullptr;
    TUserSettings* settings_ = nullptr;
    IDesktopServices* services_ = nullptr;
    std::unique_ptr<TAddFilesBatch> batch_;

    // Row dragging.
    int dragFrom_ = -1;
    QPoint pressPos_;
    bool dragging_ = false;
};
