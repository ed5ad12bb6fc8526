#pragma once
// How failures end in the registry class, which never raises an error to its caller.
//
// Every public member runs its body through Guard once. Whatever the body throws (no
// memory, a text the code page cannot carry, an implementation of RegistryApi that
// throws) ends the member with its fallback: the result the failed step leaves. Only a
// failed conversion is told from the rest, for the status it carries. Nothing tells
// the standard library's exceptions apart, and nothing may start to: in the shipped
// Burnisher a container's impossible size or index arrives as std::bad_alloc
// (platform/ContainerErrors.cpp).

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/RegistryApi.h"

namespace vbreg {

// The body's result, or the fallback's: a value, or a callable that gives one (called
// inside the handler, so it may look at what was thrown or at what the body had
// decided by then). A callable fallback must not throw.
template <class Fallback, class Body>
auto Guard(Fallback&& fallback, Body&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    if constexpr (std::is_invocable_v<Fallback&>) {
      return fallback();
    } else {
      return std::forward<Fallback>(fallback);
    }
  }
}

// The fallback of a member that answers a status: the failed conversion's own error,
// else ERROR_NOT_ENOUGH_MEMORY (the body could not even build its arguments).
inline RegStatus FailureStatus() noexcept {
  try {
    throw;
  } catch (const ansi::ConversionError& e) {
    return e.status();
  } catch (...) {
    return reg::kNotEnoughMemory;
  }
}

// A step that fails on its own without ending the member: ANSI text back to UTF-16,
// nullopt when it does not convert.
inline std::optional<std::u16string> TextFromAnsi(RegistryApi& api, std::string_view ansi) {
  try {
    return api.FromAnsi(ansi);
  } catch (const ansi::ConversionError&) {
    return std::nullopt;
  }
}

}  // namespace vbreg
