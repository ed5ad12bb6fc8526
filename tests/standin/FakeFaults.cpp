// The stand-in's call log, open-handle count and injected faults: what tests look
// at, and how they make a call fail that the real registry would not fail on demand.

#include <utility>

#include "tests/standin/FakeRegistryImpl.h"

FakeRegistry::Call fake::NewCall(const char* function, RegHandle key, const char* name) {
  FakeRegistry::Call c;
  c.function = function;
  c.key = key;
  c.nameIsNull = name == nullptr;
  if (name != nullptr) c.name = name;
  return c;
}

std::optional<RegStatus> FakeRegistry::Impl::Injected(const std::string& function) {
  std::optional<RegStatus> hit;
  for (auto& inj : injections) {
    if (inj.function != function) continue;
    ++inj.seen;
    if (!hit && (inj.nth == 0 || inj.seen == inj.nth)) hit = inj.status;
  }
  return hit;
}

int FakeRegistry::OpenHandleCount() const { return static_cast<int>(impl_->handles.size()); }

const std::vector<FakeRegistry::Call>& FakeRegistry::Calls() const { return impl_->calls; }

std::vector<FakeRegistry::Call> FakeRegistry::CallsTo(const std::string& function) const {
  std::vector<Call> out;
  for (const auto& c : impl_->calls) {
    if (c.function == function) out.push_back(c);
  }
  return out;
}

void FakeRegistry::ClearCalls() { impl_->calls.clear(); }

void FakeRegistry::InjectStatus(const std::string& function, RegStatus status, int nth) {
  impl_->injections.push_back(Impl::Injection{function, status, nth, 0});
}

void FakeRegistry::SetAfterCallHook(std::function<void(const Call&)> hook) {
  impl_->hook = std::move(hook);
}

void FakeRegistry::ClearFaults() {
  impl_->injections.clear();
  impl_->hook = nullptr;
}
