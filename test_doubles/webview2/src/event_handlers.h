#pragma once

#include <windows.h>
#include <eventtoken.h>

#include <cstdint>
#include <map>
#include <vector>

#include "com_object.h"

// The handlers registered for one of the browser's events, held until removed or the browser
// closes. Tokens are unique across the browser's events (`next_token` is shared).
template <typename Handler>
class HandlerList {
 public:
  HRESULT Add(int64_t& next_token, Handler* handler, EventRegistrationToken* token) {
    if (handler == nullptr || token == nullptr) return E_INVALIDARG;
    token->value = next_token++;
    handlers_[token->value] = handler;
    return S_OK;
  }
  HRESULT Remove(EventRegistrationToken token) {
    handlers_.erase(token.value);
    return S_OK;
  }
  void Clear() { handlers_.clear(); }
  // A copy to raise the event with: a handler may add or remove handlers meanwhile.
  std::vector<ComPtr<Handler>> Snapshot() const {
    std::vector<ComPtr<Handler>> list;
    for (const auto& entry : handlers_) list.push_back(entry.second);
    return list;
  }

 private:
  std::map<int64_t, ComPtr<Handler>> handlers_;
};
