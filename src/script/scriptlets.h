#pragma once
// Named items a script sees as global objects: the "Host" item with its
// methods and component items over a component's named properties. Names are
// matched without regard to case; the dispatch identifiers and result codes
// keep the meaning they have for an automation object.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class TScriptlet;

// A value crossing between the script and the host.
class TVariant {
public:
    TVariant() = default;
    TVariant(bool v) : value_(v) {}
    TVariant(double v) : value_(v) {}
    TVariant(int v) : value_(static_cast<double>(v)) {}
    TVariant(std::string v) : value_(std::move(v)) {}
    TVariant(const char* v) : value_(std::string(v)) {}
    TVariant(std::shared_ptr<TScriptlet> v) : value_(std::move(v)) {}
    static TVariant Null() {
        TVariant v;
        v.value_ = NullValue{};
        return v;
    }

    bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsNull() const { return std::holds_alternative<NullValue>(value_); }
    const bool* AsBool() const { return std::get_if<bool>(&value_); }
    const double* AsNumber() const { return std::get_if<double>(&value_); }
    const std::string* AsString() const { return std::get_if<std::string>(&value_); }
    std::shared_ptr<TScriptlet> AsObject() const;
    // Empty and null give "", booleans "true"/"false", numbers as the script writes them.
    std::string ToString() const;

private:
    struct NullValue {};
    std::variant<std::monostate, NullValue, bool, double, std::string, std::shared_ptr<TScriptlet>> value_;
};

using TVariantArgs = std::vector<TVariant>;  // in call order

// Result codes of name lookup and dispatch.
namespace ScriptResult {
constexpr int32_t S_OK_ = 0;
constexpr int32_t DISP_E_UNKNOWNNAME_ = static_cast<int32_t>(0x80020006u);
constexpr int32_t DISP_E_BADINDEX_ = static_cast<int32_t>(0x8002000Bu);
constexpr int32_t DISP_E_BADPARAMCOUNT_ = static_cast<int32_t>(0x8002000Eu);
constexpr int32_t E_FAIL_ = static_cast<int32_t>(0x80004005u);
}  // namespace ScriptResult

enum TDispatchFlag : uint16_t { dfMethod = 1, dfPropertyGet = 2, dfPropertyPut = 4 };

// The base of every named item.
class TScriptlet {
public:
    virtual ~TScriptlet() = default;
    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    // 512 + index for a method, index - 512 for a property; false when unknown.
    bool GetIDsOfNames(const std::vector<std::string>& names, int32_t& dispId);
    // A failing call gives E_FAIL with the reason in errorText.
    int32_t Invoke(int32_t dispId, uint16_t flags, const TVariantArgs& args, TVariant& result,
                   std::string* errorText = nullptr);

protected:
    virtual bool IsProperty(const std::string& /*name*/) { return false; }
    virtual void InvokeMethod(int /*index*/, const TVariantArgs& /*args*/, TVariant& result) { result = TVariant(); }
    virtual void GetProperty(int /*index*/, const TVariantArgs& /*args*/, TVariant& result) { result = TVariant(); }
    virtual void SetProperty(int /*index*/, const TVariantArgs& /*args*/, const TVariant& /*value*/) {}

    std::vector<std::string> methodNames_;
    std::vector<std::string> propertyNames_;  // upper case

private:
    std::string name_;
};

// "Host": Alert, CreateObject, Echo, ReadText, WriteText.
class THostScriptlet : public TScriptlet {
public:
    THostScriptlet();
    std::function<void(THostScriptlet* Sender, const std::string& Text)> OnAlert;
    std::function<void(THostScriptlet* Sender, const std::string& ProgID, bool& Allow)> OnCreateObject;
    std::function<void(THostScriptlet* Sender, const std::string& Text)> OnEcho;

protected:
    void InvokeMethod(int index, const TVariantArgs& args, TVariant& result) override;
};

// What a component item needs of a component: its name, its named
// (published) properties and the components it owns.
class TScriptComponent {
public:
    virtual ~TScriptComponent() = default;
    virtual std::string Name() const = 0;
    // Enumerations and sets come back as text.
    virtual bool GetPropertyValue(const std::string& name, TVariant& value) const = 0;
    virtual bool SetPropertyValue(const std::string& name, const TVariant& value) = 0;
    virtual bool HasProperty(const std::string& name) const = 0;
    // An owned component of that name (compared without regard to case), or null.
    virtual TScriptComponent* FindComponent(const std::string& /*name*/) const { return nullptr; }
};

// A component built from property handlers, for windows and tests.
class TPropertyComponent : public TScriptComponent {
public:
    explicit TPropertyComponent(std::string name) : name_(std::move(name)) {}
    void AddProperty(const std::string& name, std::function<TVariant()> get, std::function<void(const TVariant&)> set = {});
    void AddComponent(TScriptComponent* owned) { owned_.push_back(owned); }

    std::string Name() const override { return name_; }
    bool GetPropertyValue(const std::string& name, TVariant& value) const override;
    bool SetPropertyValue(const std::string& name, const TVariant& value) override;
    bool HasProperty(const std::string& name) const override;
    TScriptComponent* FindComponent(const std::string& name) const override;

private:
    struct Property {
        std::string name;
        std::function<TVariant()> get;
        std::function<void(const TVariant&)> set;
    };
    const Property* Find(const std::string& name) const;
    std::string name_;
    std::vector<Property> properties_;
    std::vector<TScriptComponent*> owned_;
};

class TComponentScriptlet : public TScriptlet {
public:
    void SetComponent(TScriptComponent* component) { component_ = component; }
    TScriptComponent* Component() const { return component_; }

protected:
    bool IsProperty(const std::string& name) override;
    void GetProperty(int index, const TVariantArgs& args, TVariant& result) override;
    void SetProperty(int index, const TVariantArgs& args, const TVariant& value) override;

private:
    TScriptComponent* component_ = nullptr;
};

// An item over the component, named name or else after the component.
std::shared_ptr<TComponentScriptlet> CreateComponentScriptlet(TScriptComponent* component, const std::string& name = {});
// The "Host" item with its echo and alert handlers.
std::shared_ptr<THostScriptlet> CreateHostScriptlet(
    std::function<void(THostScriptlet*, const std::string&)> onEcho,
    std::function<void(THostScriptlet*, const std::string&)> onAlert);

std::string UpperCase(std::string_view text);
