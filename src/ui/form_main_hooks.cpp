// Seams of the main window for the subsystems that plug into it: the input
// list, the media engine, the clipboard watch, the script host, and the
// conversion and download runs. Each body is filled by its subsystem.
#include "form_main.h"

#include "download_pages.h"
#include "form_log.h"

void TFormMain::PrepareInputList() {}

void TFormMain::LoadCodecLibraries() {}

void TFormMain::JoinClipboardChain() {
    if (!downloadPages_) downloadPages_ = new TDownloadPages(*this, g_, services_, deps_.Log);
    downloadPages_->JoinClipboardChain();
}

void TFormMain::CreateScriptHost() {
    if (downloadPages_) downloadPages_->CreateScriptHost();
}

void TFormMain::DetachEngineEvents() {}

void TFormMain::StopEngine() {}

void TFormMain::AbortTransfers() {
    if (downloadPages_) downloadPages_->AbortTransfers();
}

void TFormMain::LeaveClipboardChain() {
    if (downloadPages_) downloadPages_->LeaveClipboardChain();
}

void TFormMain::StartConversion() {}

void TFormMain::StopConversion() {}

void TFormMain::ClearConversionList() {}

void TFormMain::ClearDownloadedFiles() {
    if (downloadPages_) downloadPages_->ClearDownloadedFiles();
}

void TFormMain::StartDownloadRun() {
    if (downloadPages_) downloadPages_->StartDownloadRun();
}
