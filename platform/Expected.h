#pragma once
// A value or an error, for operations whose failure the caller must handle.
// (std::expected is C++23; this is the small subset the code base needs.)
#include <cassert>
#include <utility>
#include <variant>

namespace sorvane {

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& e) {
    return {std::forward<E>(e)};
}

template <class T, class E>
class Expected {
public:
    Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    template <class G>
    Expected(Unexpected<G> u) : v_(std::in_place_index<1>, E(std::move(u.error))) {}

    bool hasValue() const { return v_.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & {
        assert(hasValue());
        return std::get<0>(v_);
    }
    const T& value() const& {
        assert(hasValue());
        return std::get<0>(v_);
    }
    T&& value() && {
        assert(hasValue());
        return std::get<0>(std::move(v_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const {
        assert(!hasValue());
        return std::get<1>(v_);
    }

    template <class U>
    T valueOr(U&& fallback) const& {
        return hasValue() ? value() : T(std::forward<U>(fallback));
    }

private:
    std::variant<T, E> v_;
};

template <class E>
class Expected<void, E> {
public:
    Expected() = default;
    template <class G>
    Expected(Unexpected<G> u) : error_(E(std::move(u.error))), ok_(false) {}

    bool hasValue() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const E& error() const {
        assert(!ok_);
        return error_;
    }

private:
    E error_{};
    bool ok_ = true;
};

}  // namespace sorvane
