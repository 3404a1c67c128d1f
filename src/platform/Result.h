#pragma once

#include <utility>
#include <variant>

namespace platform {

// A value or an error, for functions that can fail. The error type carries
// its own user-facing text.
template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_data); }
    T &value() & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    const E &error() const { return std::get<1>(m_data); }

    const T *operator->() const { return &value(); }
    const T &operator*() const { return value(); }

private:
    template <std::size_t I, typename V>
    Result(std::in_place_index_t<I> i, V &&v) : m_data(i, std::forward<V>(v)) {}
    std::variant<T, E> m_data;
};

// Failure of an operation that returns nothing on success.
template <typename E>
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(E error) : m_error(std::move(error)), m_failed(true) {}
    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const E &error() const { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};

} // namespace platform
