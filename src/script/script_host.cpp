#include "script_host.h"

#include <duktape.h>

#include <cstring>

namespace {

// The source name errors carry; the line is read from the stack trace
// entries of this name, since errors thrown by host methods carry the line of
// the host's own code in lineNumber.
constexpr char kSourceName[] = "Orvane script";
constexpr const char* kItemKey = DUK_HIDDEN_SYMBOL("ovItem");
constexpr const char* kDispKey = DUK_HIDDEN_SYMBOL("ovDisp");
constexpr size_t kMessageSize = 512;

TScriptlet* ItemOf(duk_context* ctx, duk_idx_t index) {
    duk_get_prop_string(ctx, index, kItemKey);
    auto* item = static_cast<TScriptlet*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return item;
}

void CopyMessage(char* out, const std::string& text) {
    std::strncpy(out, text.c_str(), kMessageSize - 1);
    out[kMessageSize - 1] = '\0';
}

TVariant ToVariant(duk_context* ctx, duk_idx_t index) {
    switch (duk_get_type(ctx, index)) {
        case DUK_TYPE_UNDEFINED:
        case DUK_TYPE_NONE:
            return TVariant();
        case DUK_TYPE_NULL:
            return TVariant::Null();
        case DUK_TYPE_BOOLEAN:
            return TVariant(static_cast<bool>(duk_get_boolean(ctx, index)));
        case DUK_TYPE_NUMBER:
            return TVariant(static_cast<double>(duk_get_number(ctx, index)));
        default: {
            duk_dup(ctx, index);
            duk_size_t length = 0;
            const char* text = duk_safe_to_lstring(ctx, -1, &length);
            TVariant value(std::string(text, length));
            duk_pop(ctx);
            return value;
        }
    }
}

struct Engine;
void PushItem(duk_context* ctx, const std::shared_ptr<TScriptlet>& item);

void PushVariant(duk_context* ctx, const TVariant& value) {
    if (value.IsNull())
        duk_push_null(ctx);
    else if (auto b = value.AsBool())
        duk_push_boolean(ctx, *b);
    else if (auto d = value.AsNumber())
        duk_push_number(ctx, *d);
    else if (auto s = value.AsString())
        duk_push_lstring(ctx, s->data(), s->size());
    else if (auto o = value.AsObject())
        PushItem(ctx, o);
    else
        duk_push_undefined(ctx);
}

// The C functions below may be left by a longjmp when they raise a script
// error: every C++ object they use lives in a helper that has returned first.

bool CallMethod(duk_context* ctx, char* message) {
    const duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    TScriptlet* item = ItemOf(ctx, -1);
    duk_get_prop_string(ctx, -1, kDispKey);
    const auto dispId = static_cast<int32_t>(duk_get_int(ctx, -1));
    duk_pop_2(ctx);
    if (!item) return true;
    TVariantArgs args;
    for (duk_idx_t i = 0; i < count; ++i) args.push_back(ToVariant(ctx, i));
    TVariant result;
    std::string error;
    const int32_t code = item->Invoke(dispId, dfMethod, args, result, &error);
    if (code != ScriptResult::S_OK_) {
        CopyMessage(message, error.empty() ? "Host method failed" : error);
        return false;
    }
    PushVariant(ctx, result);
    return true;
}

duk_ret_t MethodTrampoline(duk_context* ctx) {
    char message[kMessageSize];
    if (!CallMethod(ctx, message)) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
    return duk_get_top(ctx) > 0 && duk_is_valid_index(ctx, -1) ? 1 : 0;
}

// Proxy "get" trap: (target, key, receiver).
bool GetTrap(duk_context* ctx, char* message) {
    TScriptlet* item = ItemOf(ctx, 0);
    if (!item || !duk_is_string(ctx, 1)) {
        duk_push_undefined(ctx);
        return true;
    }
    const std::string name = duk_get_string(ctx, 1);
    int32_t dispId = 0;
    if (!item->GetIDsOfNames({name}, dispId)) {
        duk_push_undefined(ctx);
        return true;
    }
    if (dispId >= 512) {
        duk_push_c_function(ctx, MethodTrampoline, DUK_VARARGS);
        duk_push_pointer(ctx, item);
        duk_put_prop_string(ctx, -2, kItemKey);
        duk_push_int(ctx, dispId);
        duk_put_prop_string(ctx, -2, kDispKey);
        return true;
    }
    TVariant result;
    std::string error;
    if (item->Invoke(dispId, dfPropertyGet, {}, result, &error) != ScriptResult::S_OK_) {
        CopyMessage(message, error.empty() ? "Property cannot be read" : error);
        return false;
    }
    PushVariant(ctx, result);
    return true;
}

duk_ret_t GetTrapTrampoline(duk_context* ctx) {
    char message[kMessageSize];
    if (!GetTrap(ctx, message)) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
    return 1;
}

// Proxy "set" trap: (target, key, value, receiver).
bool SetTrap(duk_context* ctx, char* message) {
    TScriptlet* item = ItemOf(ctx, 0);
    int32_t dispId = 0;
    if (!item || !duk_is_string(ctx, 1) || !item->GetIDsOfNames({duk_get_string(ctx, 1)}, dispId) || dispId >= 512) {
        CopyMessage(message, "Object doesn't support this property or method");
        return false;
    }
    TVariant ignored;
    std::string error;
    if (item->Invoke(dispId, dfPropertyPut, {ToVariant(ctx, 2)}, ignored, &error) != ScriptResult::S_OK_) {
        CopyMessage(message, error.empty() ? "Property cannot be written" : error);
        return false;
    }
    return true;
}

duk_ret_t SetTrapTrampoline(duk_context* ctx) {
    char message[kMessageSize];
    if (!SetTrap(ctx, message)) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
    duk_push_true(ctx);
    return 1;
}

duk_ret_t HasTrap(duk_context* ctx) {
    TScriptlet* item = ItemOf(ctx, 0);
    int32_t dispId = 0;
    bool found = false;
    if (item && duk_is_string(ctx, 1)) {
        const std::string name = duk_get_string(ctx, 1);
        found = item->GetIDsOfNames({name}, dispId);
    }
    duk_push_boolean(ctx, found);
    return 1;
}

}  // namespace

struct TCustomScript::Engine {
    duk_context* ctx = nullptr;
    // Items handed out while the script runs (component items of owned components).
    std::vector<std::shared_ptr<TScriptlet>> created;
    ~Engine() {
        if (ctx) duk_destroy_heap(ctx);
    }
};

namespace {

thread_local std::vector<std::shared_ptr<TScriptlet>>* tCreated = nullptr;

void PushItem(duk_context* ctx, const std::shared_ptr<TScriptlet>& item) {
    if (tCreated) tCreated->push_back(item);  // kept alive as long as the engine
    duk_push_object(ctx);  // target
    duk_push_pointer(ctx, item.get());
    duk_put_prop_string(ctx, -2, kItemKey);
    duk_push_object(ctx);  // handler
    duk_push_c_function(ctx, GetTrapTrampoline, 3);
    duk_put_prop_string(ctx, -2, "get");
    duk_push_c_function(ctx, SetTrapTrampoline, 4);
    duk_put_prop_string(ctx, -2, "set");
    duk_push_c_function(ctx, HasTrap, 2);
    duk_put_prop_string(ctx, -2, "has");
    duk_push_proxy(ctx, 0);
}

// The 1-based line of the first stack entry in the script's own source.
int ScriptLine(duk_context* ctx, duk_idx_t error) {
    error = duk_normalize_index(ctx, error);
    int line = 0;
    if (duk_is_object(ctx, error)) {
        duk_get_prop_string(ctx, error, "stack");
        if (duk_is_string(ctx, -1)) {
            const std::string stack = duk_get_string(ctx, -1);
            const std::string marker = std::string("(") + kSourceName + ":";
            const size_t at = stack.find(marker);
            if (at != std::string::npos) line = std::atoi(stack.c_str() + at + marker.size());
        }
        duk_pop(ctx);
        if (line == 0) {
            duk_get_prop_string(ctx, error, "lineNumber");
            if (duk_is_number(ctx, -1)) line = duk_get_int(ctx, -1);
            duk_pop(ctx);
        }
    }
    return line;
}

TScriptError MakeError(duk_context* ctx, duk_idx_t error) {
    error = duk_normalize_index(ctx, error);
    TScriptError e;
    // The conversion to text works in place, so on a copy.
    duk_dup(ctx, error);
    duk_size_t length = 0;
    const char* text = duk_safe_to_lstring(ctx, -1, &length);
    e.Error.assign(text, length);
    duk_pop(ctx);
    if (duk_is_error(ctx, error)) {
        duk_get_prop_string(ctx, error, "message");
        if (duk_is_string(ctx, -1)) e.Description = duk_get_string(ctx, -1);
        duk_pop(ctx);
        // Syntax errors end in " (line N)", which the line field already tells.
        const size_t tail = e.Description.rfind(" (line ");
        if (tail != std::string::npos && e.Description.back() == ')') e.Description.erase(tail);
    } else {
        e.Description = e.Error;
    }
    const int line = ScriptLine(ctx, error);
    e.Line = line > 0 ? static_cast<uint32_t>(line - 1) : 0;
    return e;
}

duk_ret_t CompileSafe(duk_context* ctx, void*) {
    duk_compile(ctx, 0);
    return 1;
}

}  // namespace

TCustomScript::TCustomScript() = default;

// Closes the engine without telling anyone: the handlers' owners may be gone.
TCustomScript::~TCustomScript() { engine_.reset(); }

void TCustomScript::Close() {
    if (!engine_) return;
    engine_.reset();
    DoStateChange(ssClosed);
}

void TCustomScript::AddItem(std::shared_ptr<TScriptlet> item) {
    if (!item || FindItem(item->GetName())) return;
    items_.push_back(std::move(item));
}

std::shared_ptr<TScriptlet> TCustomScript::FindItem(const std::string& name) const {
    for (const auto& item : items_)
        if (item->GetName() == name) return item;
    return nullptr;
}

void TCustomScript::Execute() {
    Close();
    auto engine = std::make_unique<Engine>();
    engine->ctx = CreateEngine();
    if (!engine->ctx) throw EScriptError("The script engine could not be created");
    engine_ = std::move(engine);
    duk_context* ctx = engine_->ctx;
    auto* previousCreated = tCreated;
    tCreated = &engine_->created;
    struct Restore {
        std::vector<std::shared_ptr<TScriptlet>>*& slot;
        std::vector<std::shared_ptr<TScriptlet>>* value;
        ~Restore() { slot = value; }
    } restore{tCreated, previousCreated};

    for (const auto& item : items_) {
        PushItem(ctx, item);
        duk_put_global_lstring(ctx, item->GetName().data(), item->GetName().size());
    }
    DoStateChange(ssInitialized);

    std::string text;
    for (const auto& line : Lines) {
        text += line;
        text += "\r\n";
    }
    duk_push_lstring(ctx, text.data(), text.size());
    duk_push_string(ctx, kSourceName);
    if (duk_safe_call(ctx, CompileSafe, nullptr, 2, 1) != DUK_EXEC_SUCCESS) {
        DoError(MakeError(ctx, -1));
        duk_pop(ctx);
        return;
    }
    DoStateChange(ssStarted);
    DoEnter();
    const bool failed = duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS;
    if (failed) DoError(MakeError(ctx, -1));
    duk_pop(ctx);
    DoLeave();
    DoStateChange(ssConnected);
}

void TCustomScript::DoError(const TScriptError& error) {
    if (OnError) OnError(this, error);
}

void TCustomScript::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TCustomScript::DoLeave() {
    if (OnLeave) OnLeave(this);
}

void TCustomScript::DoQueryContinue(bool& allow) {
    if (OnQueryContinue) OnQueryContinue(this, allow);
}

void TCustomScript::DoStateChange(TScriptState state) {
    if (OnStateChange) OnStateChange(this, state);
}

duk_hthread* TJavaScript::CreateEngine() { return duk_create_heap_default(); }
