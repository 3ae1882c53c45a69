#include "form_failed_add_file.h"

#include "desktop_services.h"
#include "page_helpers.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace {
constexpr char kText[] =
    "Failed to add the following files. The converter might not support the file type or might not support the "
    "codec that was used to compress the file. Click \"More Information\" to view a list of supported file types "
    "and releavant codecs.";
}  // namespace

TFormFailedAddFile::TFormFailedAddFile(const std::vector<std::string>& errors, std::string helpTarget,
                                       IDesktopServices& services, QWidget* parent)
    : QDialog(parent), supportLink_(std::move(helpTarget)), services_(services) {
    setObjectName("FormFailedAddFile");
    setWindowTitle("Failed to Add Files");
    setFixedSize(480, 310);

    auto* icon = Place(new QLabel(this), "ImageIcon", QRect(14, 14, 32, 32));
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto* text = AddLabel(this, "LabelText", kText, QRect(58, 10, 408, 64));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    list_ = Place(new QTreeWidget(this), "ListViewFiles", QRect(14, 82, 452, 172));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({"File"});
    list_->header()->setStretchLastSection(true);
    for (const std::string& error : errors) new QTreeWidgetItem(list_, QStringList{QString::fromStdString(error)});

    moreInfo_ = Place(new QPushButton("More Information...", this), "ButtonMoreInfo", QRect(226, 268, 150, 28));
    close_ = Place(new QPushButton("Close", this), "ButtonClose", QRect(386, 268, 80, 28));
    close_->setDefault(true);
    close_->setFocus();
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    connect(moreInfo_, &QPushButton::clicked, this, &TFormFailedAddFile::ButtonMoreInfoClick);
}

void TFormFailedAddFile::ButtonMoreInfoClick() { services_.OpenDocument(supportLink_); }
