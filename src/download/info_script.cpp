#include "info_script.h"

std::unique_ptr<TJavaScript> CreateInfoScript(TDownloadRun& run, TScriptComponent* form) {
    auto script = std::make_unique<TJavaScript>();
    if (form) script->AddItem(CreateComponentScriptlet(form, "Form"));
    auto toParser = [&run](THostScriptlet*, const std::string& text) { run.ScriptEcho(text); };
    script->AddItem(CreateHostScriptlet(toParser, toParser));
    script->OnError = [&run](TCustomScript*, const TScriptError& error) {
        run.ScriptError(error.Line, error.Description);
    };
    TJavaScript* engine = script.get();
    run.ExecuteScript = [engine](const std::vector<std::string>& lines) {
        engine->Lines = lines;
        engine->Execute();
    };
    return script;
}
