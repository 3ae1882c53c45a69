// Seams of the main window for the subsystems that plug into it: the input
// list, the media engine, the clipboard watch, the script host, and the
// conversion and download runs. Each body is filled by its subsystem.
#include "form_main.h"

#include "conversion_pages.h"
#include "download_pages.h"
#include "form_log.h"

void TFormMain::PrepareInputList() {
    if (!conversionPages_) conversionPages_ = new TConversionPages(*this, services_, deps_.Log, dispatcher_);
}

void TFormMain::LoadCodecLibraries() {
    if (conversionPages_) conversionPages_->LoadCodecLibraries(deps_.ExeFolder);
}

void TFormMain::JoinClipboardChain() {
    if (!downloadPages_) downloadPages_ = new TDownloadPages(*this, services_, deps_.Log, dispatcher_);
    downloadPages_->JoinClipboardChain();
}

void TFormMain::CreateScriptHost() {
    if (downloadPages_) downloadPages_->CreateScriptHost();
}

void TFormMain::DetachEngineEvents() {
    if (conversionPages_) conversionPages_->DetachEngineEvents();
}

void TFormMain::StopEngine() {
    if (conversionPages_) conversionPages_->StopEngine();
}

void TFormMain::AbortTransfers() {
    if (downloadPages_) downloadPages_->AbortTransfers();
}

void TFormMain::LeaveClipboardChain() {
    if (downloadPages_) downloadPages_->LeaveClipboardChain();
}

void TFormMain::StartConversion() {
    if (conversionPages_) conversionPages_->StartConversion();
}

void TFormMain::StopConversion() {
    if (conversionPages_) conversionPages_->StopConversion();
}

void TFormMain::ClearConversionList() {
    if (conversionPages_) conversionPages_->ClearConversionList();
}

void TFormMain::ClearDownloadedFiles() {
    if (downloadPages_) downloadPages_->ClearDownloadedFiles();
}

void TFormMain::StartDownloadRun() {
    if (downloadPages_) downloadPages_->StartDownloadRun();
}
