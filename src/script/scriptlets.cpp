#include "scriptlets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::shared_ptr<TScriptlet> TVariant::AsObject() const {
    if (auto p = std::get_if<std::shared_ptr<TScriptlet>>(&value_)) return *p;
    return nullptr;
}

std::string TVariant::ToString() const {
    if (auto b = AsBool()) return *b ? "true" : "false";
    if (auto s = AsString()) return *s;
    if (auto d = AsNumber()) {
        if (std::isnan(*d)) return "NaN";
        if (std::isinf(*d)) return *d > 0 ? "Infinity" : "-Infinity";
        char buffer[32];
        if (*d == std::floor(*d) && std::fabs(*d) < 1e21)
            std::snprintf(buffer, sizeof buffer, "%.0f", *d);
        else
            std::snprintf(buffer, sizeof buffer, "%.17g", *d);
        return buffer;
    }
    if (AsObject()) return AsObject()->GetName();
    return {};
}

// ------------------------------------------------------------------ dispatch

bool TScriptlet::GetIDsOfNames(const std::vector<std::string>& names, int32_t& dispId) {
    if (names.size() != 1) return false;
    const std::string upper = UpperCase(names[0]);
    for (size_t i = 0; i < methodNames_.size(); ++i)
        if (UpperCase(methodNames_[i]) == upper) {
            dispId = 512 + static_cast<int32_t>(i);
            return true;
        }
    for (size_t i = 0; i < propertyNames_.size(); ++i)
        if (propertyNames_[i] == upper) {
            dispId = static_cast<int32_t>(i) - 512;
            return true;
        }
    if (IsProperty(names[0])) {
        propertyNames_.push_back(upper);
        dispId = static_cast<int32_t>(propertyNames_.size() - 1) - 512;
        return true;
    }
    return false;
}

int32_t TScriptlet::Invoke(int32_t dispId, uint16_t flags, const TVariantArgs& args, TVariant& result,
                           std::string* errorText) {
    using namespace ScriptResult;
    try {
        if (flags & dfMethod) {
            const int32_t index = dispId - 512;
            if (index < 0 || index >= static_cast<int32_t>(methodNames_.size())) return DISP_E_BADINDEX_;
            InvokeMethod(index, args, result);
            return S_OK_;
        }
        const int32_t index = dispId + 512;
        const bool inRange = index >= 0 && index < static_cast<int32_t>(propertyNames_.size());
        if (flags == dfPropertyGet) {
            if (!inRange) return DISP_E_BADINDEX_;
            GetProperty(index, args, result);
            return S_OK_;
        }
        if (flags == dfPropertyPut) {
            if (!inRange) return DISP_E_BADINDEX_;
            if (args.empty()) return DISP_E_BADPARAMCOUNT_;
            SetProperty(index, args, args[0]);
            return S_OK_;
        }
        return DISP_E_BADINDEX_;
    } catch (const std::exception& e) {
        if (errorText) *errorText = e.what();
        return E_FAIL_;
    } catch (...) {
        if (errorText) *errorText = "Unspecified error";
        return E_FAIL_;
    }
}

// ---------------------------------------------------------------------- host

THostScriptlet::THostScriptlet() {
    SetName("Host");
    methodNames_ = {"Alert", "CreateObject", "Echo", "ReadText", "WriteText"};
}

namespace {

std::string ReadWholeFileText(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

void WriteWholeFileText(const std::string& name, const std::string& text) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace

void THostScriptlet::InvokeMethod(int index, const TVariantArgs& args, TVariant& result) {
    result = TVariant();
    switch (index) {
        case 0:  // Alert
            if (args.size() == 1 && OnAlert) OnAlert(this, args[0].ToString());
            break;
        case 1:  // CreateObject: no object model to create from; the handler is still asked.
            if (args.size() == 1 && OnCreateObject) {
                bool allow = true;
                OnCreateObject(this, args[0].ToString(), allow);
            }
            break;
        case 2:  // Echo
            if (args.size() == 1 && OnEcho) OnEcho(this, args[0].ToString());
            break;
        case 3:  // ReadText
            if (args.size() == 1) {
                std::string text = ReadWholeFileText(args[0].ToString());
                if (!text.empty()) result = TVariant(std::move(text));
            }
            break;
        case 4:  // WriteText
            if (args.size() == 2) {
                const std::string text = args[1].ToString();
                if (!text.empty()) WriteWholeFileText(args[0].ToString(), text);
            }
            break;
        default:
            break;
    }
}

std::shared_ptr<THostScriptlet> CreateHostScriptlet(std::function<void(THostScriptlet*, const std::string&)> onEcho,
                                                    std::function<void(THostScriptlet*, const std::string&)> onAlert) {
    auto host = std::make_shared<THostScriptlet>();
    host->OnEcho = std::move(onEcho);
    host->OnAlert = std::move(onAlert);
    return host;
}

// ----------------------------------------------------------------- components

void TPropertyComponent::AddProperty(const std::string& name, std::function<TVariant()> get,
                                     std::function<void(const TVariant&)> set) {
    properties_.push_back({name, std::move(get), std::move(set)});
}

const TPropertyComponent::Property* TPropertyComponent::Find(const std::string& name) const {
    const std::string upper = UpperCase(name);
    for (const auto& p : properties_)
        if (UpperCase(p.name) == upper) return &p;
    return nullptr;
}

bool TPropertyComponent::GetPropertyValue(const std::string& name, TVariant& value) const {
    const Property* p = Find(name);
    if (!p || !p->get) return false;
    value = p->get();
    return true;
}

bool TPropertyComponent::SetPropertyValue(const std::string& name, const TVariant& value) {
    const Property* p = Find(name);
    if (!p || !p->set) return false;
    p->set(value);
    return true;
}

bool TPropertyComponent::HasProperty(const std::string& name) const { return Find(name) != nullptr; }

TScriptComponent* TPropertyComponent::FindComponent(const std::string& name) const {
    const std::string upper = UpperCase(name);
    for (auto* c : owned_)
        if (UpperCase(c->Name()) == upper) return c;
    return nullptr;
}

bool TComponentScriptlet::IsProperty(const std::string& name) {
    return component_ && (component_->FindComponent(name) || component_->HasProperty(name));
}

void TComponentScriptlet::GetProperty(int index, const TVariantArgs& args, TVariant& result) {
    if (!args.empty()) throw std::runtime_error("Wrong number of arguments or invalid property assignment");
    const std::string& name = propertyNames_[static_cast<size_t>(index)];
    if (!component_) return;
    if (TScriptComponent* owned = component_->FindComponent(name)) {
        result = TVariant(std::static_pointer_cast<TScriptlet>(CreateComponentScriptlet(owned)));
        return;
    }
    if (!component_->GetPropertyValue(name, result)) throw std::runtime_error("Property " + name + " cannot be read");
}

void TComponentScriptlet::SetProperty(int index, const TVariantArgs& args, const TVariant& value) {
    if (args.size() != 1) throw std::runtime_error("Wrong number of arguments or invalid property assignment");
    const std::string& name = propertyNames_[static_cast<size_t>(index)];
    if (!component_ || component_->FindComponent(name) || !component_->SetPropertyValue(name, value))
        throw std::runtime_error("Property " + name + " cannot be written");
}

std::shared_ptr<TComponentScriptlet> CreateComponentScriptlet(TScriptComponent* component, const std::string& name) {
    auto item = std::make_shared<TComponentScriptlet>();
    item->SetComponent(component);
    item->SetName(!name.empty() ? name : component ? component->Name() : std::string());
    return item;
}
