#pragma once

// One visitor from several lambdas, for std::visit over the request variant.
namespace vspd {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace vspd
