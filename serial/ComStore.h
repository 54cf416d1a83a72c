// The setters' common first step: a property given its current value changes nothing, so
// neither the open port nor the listeners hear of it.
#pragma once

namespace com_detail {

template <typename T> bool Store(T& field, T value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace com_detail
