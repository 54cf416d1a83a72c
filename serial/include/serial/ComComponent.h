// The least of a component framework the port needs: an owner that frees what it owns, a
// name, and the design-mode and loading states with the end-of-loading call.
#pragma once

#include <string>
#include <vector>

class TComponent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    // Design mode: the component is hosted by a designer and never touches a device.
    bool IsDesigning() const { return designing_; }
    void SetDesigning(bool value) { designing_ = value; }
    // Loading: stored properties are being read; setters only record values.
    bool IsLoading() const { return loading_; }
    void BeginLoading() { loading_ = true; }
    // End-of-loading call, made once when stored properties have all been read.
    virtual void Loaded() { loading_ = false; }

protected:
    // Frees the owned components now; descendants call it where their destruction order
    // puts the inherited part.
    void FreeOwnedComponents();

private:
    TComponent* owner_;
    std::vector<TComponent*> owned_;
    std::string name_;
    bool designing_ = false;
    bool loading_ = false;
};
