#pragma once
// Base of the engine's components (decoder, encoder).
#include <string>

class TFFBaseComponent {
public:
    virtual ~TFFBaseComponent() = default;
    std::string About;  // not read by the engine
    const std::string& Version() const { return version_; }

protected:
    std::string version_;
};
