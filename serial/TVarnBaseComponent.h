#pragma once
// A plain named component.
#include <string>
#include <utility>

class TVarnBaseComponent {
public:
    explicit TVarnBaseComponent(std::string name = "") : name_(std::move(name)) {}
    virtual ~TVarnBaseComponent() = default;
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

private:
    std::string name_;
};
