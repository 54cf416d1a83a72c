#include "serial/ComComponent.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_ != nullptr)
        owner_->owned_.push_back(this);
}

TComponent::~TComponent() {
    FreeOwnedComponents();
    if (owner_ != nullptr)
        std::erase(owner_->owned_, this);
}

void TComponent::FreeOwnedComponents() {
    while (!owned_.empty()) {
        TComponent* last = owned_.back();
        last->owner_ = nullptr;
        owned_.pop_back();
        delete last;
    }
}
