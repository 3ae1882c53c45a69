#pragma once
// Runs a JavaScript text synchronously with named items ("Host", "Form") as
// global objects and reports errors, entry and state through events.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "scriptlets.h"

struct duk_hthread;

enum TScriptState { ssUninitialized, ssInitialized, ssStarted, ssConnected, ssDisconnected, ssClosed };

struct TScriptError {
    std::string Error;        // the engine's full error text ("SyntaxError: ...")
    std::string Description;  // the message alone; empty when the engine gives none
    uint32_t Line = 0;        // counted from 0
    int32_t Column = 0;       // not reported by the engine: always 0
};

// The engine could not be created or set up.
class EScriptError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TCustomScript {
public:
    TCustomScript();
    virtual ~TCustomScript();
    TCustomScript(const TCustomScript&) = delete;
    TCustomScript& operator=(const TCustomScript&) = delete;

    // Runs Lines as a new script in a fresh engine; every host call and event
    // happens before it returns. A syntax error is reported and runs nothing.
    void Execute();
    // Releases the engine (state ssClosed when one was open).
    void Close();
    // An item whose name is already present is ignored.
    void AddItem(std::shared_ptr<TScriptlet> item);
    // The first item of exactly that name, or null.
    std::shared_ptr<TScriptlet> FindItem(const std::string& name) const;

    std::vector<std::string> Lines;
    uintptr_t WindowHandle = 0;

    std::function<void(TCustomScript* Sender, const TScriptError& ScriptError)> OnError;
    std::function<void(TCustomScript* Sender)> OnEnter;
    std::function<void(TCustomScript* Sender)> OnLeave;
    // Never asked: the engine has no interrupt hook in this build.
    std::function<void(TCustomScript* Sender, bool& Allow)> OnQueryContinue;
    std::function<void(TCustomScript* Sender, TScriptState State)> OnStateChange;

protected:
    virtual duk_hthread* CreateEngine() = 0;
    virtual void DoError(const TScriptError& error);
    virtual void DoEnter();
    virtual void DoLeave();
    virtual void DoQueryContinue(bool& allow);
    virtual void DoStateChange(TScriptState state);

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
    std::vector<std::shared_ptr<TScriptlet>> items_;
};

class TJavaScript : public TCustomScript {
protected:
    duk_hthread* CreateEngine() override;
};
