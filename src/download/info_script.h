#pragma once
// The script component the download run drives: "Host" (its Echo and Alert
// reach the run's stream-map parser), "Form" over the given component when
// there is one, and the script host's error message.
#include <memory>

#include "download_run.h"
#include "script_host.h"

// The script must outlive the runs that use it.
std::unique_ptr<TJavaScript> CreateInfoScript(TDownloadRun& run, TScriptComponent* form);
