// Seams of the main window for the subsystems that plug into it: the input
// list, the media engine, the clipboard watch, the script host, and the
// conversion and download runs. Each body is filled by its subsystem.
#include "form_main.h"

void TFormMain::PrepareInputList() {}

void TFormMain::LoadCodecLibraries() {}

void TFormMain::JoinClipboardChain() {}

void TFormMain::CreateScriptHost() {}

void TFormMain::DetachEngineEvents() {}

void TFormMain::StopEngine() {}

void TFormMain::AbortTransfers() {}

void TFormMain::LeaveClipboardChain() {}

void TFormMain::StartConversion() {}

void TFormMain::StopConversion() {}

void TFormMain::ClearConversionList() {}

void TFormMain::ClearDownloadedFiles() {}

void TFormMain::StartDownloadRun() {}
