#pragma once
// The main window with its real conversion seams: the engine, the input
// list, the run pages. Media files are made once per test program.
#include "ui_fixture.h"

#include "../jobs/media_fixtures.h"

#include "conversion_pages.h"
#include "form_failed_add_file.h"
#include "form_trim.h"
#include "input_list_model.h"
#include "page_step1.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

struct ConversionWindow : ::testing::Test {
    // Builds the main window and runs its start-up; download off: the window
    // starts on Step1.
    bool Create(const std::map<std::string, std::string>& config = {}) {
        std::map<std::string, std::string> keys = {{"Download", "False"}};
        for (const auto& [k, v] : config) keys[k] = v;
        program = std::make_unique<ProgramFolder>(keys);
        EnsureApp();
        log = std::make_unique<TFormLog>(services, TestDispatcher());
        form = std::make_unique<TFormMain>(TestDispatcher(), TestDeps(services, sounds, *log, *program, user));
        return form->FormCreate();
    }
    void Start(const std::map<std::string, std::string>& config = {}) {
        ASSERT_TRUE(Create(config));
        form->show();
        step1 = form->Step1();
        pages = form->ConversionPages();
        ASSERT_NE(pages, nullptr);
        ASSERT_TRUE(pages->Encoder().LibrariesLoaded());
        step1->ExecFailedDialog = [this](TFormFailedAddFile& dialog) {
            std::vector<std::string> rows;
            for (int i = 0; i < dialog.ListViewFiles()->topLevelItemCount(); ++i)
                rows.push_back(dialog.ListViewFiles()->topLevelItem(i)->text(0).toStdString());
            failedDialogs.push_back(rows);
            if (onFailedDialog) onFailedDialog(dialog);
        };
        step1->ExecTrimDialog = [this](TFormTrim&) {
            ++trimDialogs;
            return false;
        };
    }
    void TearDown() override { form.reset(); }
    // The started window's settings.
    TUserSettings& settings() { return form->Settings(); }

    // Drags the paths onto the window and drops them there.
    bool Drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
        mime.setUrls(urls);
        const QPoint at(300, 200);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &drop);
        return drop.isAccepted();
    }
    // An input list column's texts, top to bottom.
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        const TInputListModel* model = step1->Model();
        for (int r = 0; r < model->rowCount(); ++r)
            texts.push_back(model->index(r, column).data().toString().toStdString());
        return texts;
    }
    // A value of every input row, top to bottom.
    template <class T>
    std::vector<T> Values(T TInputRow::*field) const {
        std::vector<T> values;
        for (int r = 0; r < step1->Model()->Count(); ++r) values.push_back(step1->Model()->Row(r).*field);
        return values;
    }
    QImage Thumbnail(int row) const {
        return step1->Model()->index(row, icMainImage).data(Qt::DecorationRole).value<QImage>();
    }
    int LogLines(const std::string& prefix) const {
        int n = 0;
        for (const auto& line : log->Lines()) n += line.rfind(prefix, 0) == 0;
        return n;
    }

    TempDir user;
    std::unique_ptr<ProgramFolder> program;
    FakeServices services;
    FakeSounds sounds;
    std::unique_ptr<TFormLog> log;
    std::unique_ptr<TFormMain> form;
    TPageStep1* step1 = nullptr;
    TConversionPages* pages = nullptr;
    std::vector<std::vector<std::string>> failedDialogs;
    std::function<void(TFormFailedAddFile&)> onFailedDialog;
    int trimDialogs = 0;  // trim dialogs opened (and cancelled)
};
